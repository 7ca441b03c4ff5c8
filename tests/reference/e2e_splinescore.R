#!/usr/bin/Rscript
# Regenerate: Rscript tests/reference/e2e_splinescore.R
# Reference predictions of the end-to-end tests of scoring a B-spline past the range of the
# analysis data (tests/e2e/scoring_test.cpp), written into tests/data/e2e/:
#   spline_train.csv        x, y: 25 rows, x in [0.48, 9.7]
#   spline_new.csv          x, y: rows below, inside and above that range, and past the
#                           boundary knots that LISTWITHBOUNDARY gives
#   spline_predictions.csv  case, row, p: predict() of lm(y ~ bs(x, knots, Boundary.knots,
#                           degree)) at every row of spline_new.csv, for each case's EFFECT
#                           options (the knots the procedure places: EQUAL at even spacing of
#                           the range, PERCENTILES as quantile type 2, LIST as listed); bs()
#                           continues its end pieces past the boundary knots
#   spline_testase.csv      case, ase: the mean squared residual of those predictions over the
#                           rows of spline_new.csv, the test ASE of TESTDATA=spline_new
# Whatever the outer knots, the spline space on the range is the same (piecewise polynomials of
# the degree with the interior knots), so the fitted curve and its continued end pieces are too.
suppressMessages(library(splines))
args <- commandArgs(trailingOnly = FALSE)
here <- dirname(normalizePath(sub("^--file=", "", args[grep("^--file=", args)])))
out <- file.path(here, "..", "data", "e2e")

set.seed(54)
x <- round(sort(runif(25, 0, 10)), 2)
train <- data.frame(x = x, y = round(sin(x / 1.5) * 3 + 0.4 * x + rnorm(25, 0, 0.3), 3))
new <- data.frame(x = c(-3, -1, -0.25, min(x) - 0.001, min(x), 4.2, max(x), max(x) + 0.001,
                        10.25, 11, 13.5))
new$y <- round(sin(new$x / 1.5) * 3 + 0.4 * new$x, 3)
lo <- min(x); hi <- max(x)
even <- function(n) lo + (1:n) * (hi - lo) / (n + 1)
cases <- list(
  list(options = "degree=1 knotmethod=equal(3)", degree = 1, knots = even(3)),
  list(options = "degree=2 knotmethod=equal(2)", degree = 2, knots = even(2)),
  list(options = "knotmethod=equal(3)", degree = 3, knots = even(3)),
  list(options = "knotmethod=equal(2) databoundary", degree = 3, knots = even(2)),
  list(options = "knotmethod=percentiles(4)", degree = 3,
       knots = unname(quantile(x, (1:4) / 5, type = 2))),
  list(options = "degree=2 knotmethod=list(2.5 6)", degree = 2, knots = c(2.5, 6)),
  list(options = "degree=2 knotmethod=listwithboundary(-2 -0.5 5 10.5 12)", degree = 2,
       knots = 5, boundary = c(-0.5, 10.5)))
preds <- NULL
ases <- NULL
for (i in seq_along(cases)) {
  k <- cases[[i]]
  b <- if (is.null(k$boundary)) c(lo, hi) else k$boundary
  fit <- lm(y ~ bs(x, knots = k$knots, Boundary.knots = b, degree = k$degree), data = train)
  p <- suppressWarnings(predict(fit, newdata = new))
  preds <- rbind(preds, data.frame(case = i, row = seq_len(nrow(new)), p = sprintf("%.15g", p)))
  ases <- rbind(ases, data.frame(case = i, options = k$options,
                                 ase = sprintf("%.15g", mean((new$y - p)^2))))
}
write.csv(train, file.path(out, "spline_train.csv"), row.names = FALSE, quote = FALSE)
write.csv(new, file.path(out, "spline_new.csv"), row.names = FALSE, quote = FALSE)
write.csv(preds, file.path(out, "spline_predictions.csv"), row.names = FALSE, quote = FALSE)
write.csv(ases, file.path(out, "spline_testase.csv"), row.names = FALSE)
