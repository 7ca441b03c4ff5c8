#!/usr/bin/Rscript
# Regenerate: Rscript tests/reference/e2e_constructed.R
# Reference tables of the end-to-end tests of constructed effects (tests/e2e/constructed_test.cpp),
# written into tests/data/e2e/:
#   spline_steps.csv    step, entered, sse, rank: forward selection by R's step() with
#                       k = log(n) on diabetes, the B-spline of bmi as bs() with the procedure's
#                       three equally spaced interior knots (its 7 columns less the one the
#                       intercept aliases span what bs() and the intercept span)
#   spline_anova.csv    source, df, ss of the model step() ends with
#   spline_knots.csv    knot, value: the procedure's knot sequence of that spline
#   poly_scaling.csv    variable, minimum, maximum, n, freqs, sum, sumsq, center, scale: the
#                       frequency moments that standardize poly(x z) on tests/data/design
#                       beside a LAG effect, over the rows whose previous period is there (the
#                       rows analysed); the range over all rows
suppressMessages(library(splines))
args <- commandArgs(trailingOnly = FALSE)
here <- dirname(normalizePath(sub("^--file=", "", args[grep("^--file=", args)])))
out <- file.path(here, "..", "data", "e2e")
d <- read.csv(file.path(here, "..", "..", "examples", "data", "diabetes.csv"))
n <- nrow(d)

lo <- min(d$bmi); hi <- max(d$bmi); h <- (hi - lo) / 4
t <- lo + (1:3) * h
sb <- bs(d$bmi, knots = t)
fit0 <- lm(y ~ 1, data = d)
scope <- ~ age + sex + sb + bp + s1 + s2 + s3 + s4 + s5 + s6
path <- step(fit0, scope = scope, direction = "forward", k = log(n), trace = 0)
a <- path$anova
entered <- sub("^\\+ ", "", as.character(a$Step))
entered[1] <- "Intercept"
rank <- n - a$"Resid. Df"
stopifnot(all.equal(a$AIC, n * log(a$"Resid. Dev" / n) + rank * log(n)))
write.csv(data.frame(step = seq_along(entered) - 1, entered = entered, sse = a$"Resid. Dev",
                     rank = rank),
          file.path(out, "spline_steps.csv"), row.names = FALSE, quote = FALSE)
av <- anova(path)
ss_model <- sum(av$"Sum Sq"[-nrow(av)])
write.csv(data.frame(source = c("Model", "Error", "Corrected Total"),
                     df = c(path$rank - 1, path$df.residual, n - 1),
                     ss = c(ss_model, deviance(path), sum((d$y - mean(d$y))^2))),
          file.path(out, "spline_anova.csv"), row.names = FALSE, quote = FALSE)

widen <- function(b, direction) {
  eps <- 1.110223024625157e-13
  v <- b + direction * eps
  while (!(if (direction < 0) v < b else v > b)) { eps <- eps * 10; v <- b + direction * eps }
  v
}
knots <- c(lo - 2 * h, lo - h, widen(lo, -1), t, widen(hi, 1), hi + h, hi + 2 * h)
write.csv(data.frame(knot = seq_along(knots), value = knots), file.path(out, "spline_knots.csv"),
          row.names = FALSE, quote = FALSE)

cd <- read.csv(file.path(here, "..", "data", "design", "constructed.csv"))
has_prev <- paste(cd$subj, cd$per - 1) %in% paste(cd$subj, cd$per)
used <- cd$per == 1 | has_prev
scaling <- do.call(rbind, lapply(c("x", "z"), function(v) {
  x <- cd[[v]][used]; f <- cd$f[used]; F <- sum(f)
  data.frame(variable = v, minimum = min(cd[[v]]), maximum = max(cd[[v]]), n = length(x),
             freqs = F,
             sum = sum(f * x), sumsq = sum(f * x^2), center = sum(f * x) / F,
             scale = sqrt((sum(f * x^2) - sum(f * x)^2 / F) / (F - 1)))
}))
write.csv(scaling, file.path(out, "poly_scaling.csv"), row.names = FALSE, quote = FALSE)
