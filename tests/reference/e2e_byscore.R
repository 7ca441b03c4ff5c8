#!/usr/bin/Rscript
# Regenerate: Rscript tests/reference/e2e_byscore.R
# Data and reference values of the end-to-end tests of SCORE and validation data under a BY
# statement (tests/e2e/by_outputs_test.cpp), fitted on examples/data/mtcars_by_cyl.csv with
# lm(mpg ~ wt + hp) in each cyl group, written into tests/data/e2e/:
#   by_score.csv              model, cyl, wt, hp, mpg: cars in no BY order, among them cyl
#                             values no group has (5) and a missing one
#   by_score_predictions.csv  row, cyl, own, p4, p6, p8: per row of by_score.csv the prediction
#                             of its own cyl group's model (NA when no group has its cyl) and
#                             of each group's model
#   by_valid.csv              model, cyl, wt, hp, mpg: validation cars in no BY order, one of
#                             cyl 12
#   by_valid_ase.csv          cyl, rows, ase: each group's validation rows and their average
#                             squared error under the group's model
args <- commandArgs(trailingOnly = FALSE)
here <- dirname(normalizePath(sub("^--file=", "", args[grep("^--file=", args)])))
out <- file.path(here, "..", "data", "e2e")
cars <- read.csv(file.path(here, "..", "..", "examples", "data", "mtcars_by_cyl.csv"))

set.seed(41)
groups <- c(4, 6, 8)
fits <- lapply(groups, function(g) lm(mpg ~ wt + hp, data = cars[cars$cyl == g, ]))
names(fits) <- groups
new_cars <- function(n, cyls) {
  pick <- cars[sample(nrow(cars), n), ]
  data.frame(model = paste("new", seq_len(n)), cyl = cyls,
             wt = round(pick$wt * runif(n, 0.9, 1.1), 3),
             hp = round(pick$hp * runif(n, 0.9, 1.1)),
             mpg = round(pick$mpg + rnorm(n, 0, 1), 1))
}
score <- new_cars(16, c(8, 4, 6, 5, 4, 8, 8, NA, 6, 4, 5, 8, 6, 4, 8, 4))
valid <- new_cars(10, c(6, 8, 4, 12, 4, 8, 6, 4, 8, 6))
write.csv(score, file.path(out, "by_score.csv"), row.names = FALSE, quote = FALSE, na = "")
write.csv(valid, file.path(out, "by_valid.csv"), row.names = FALSE, quote = FALSE, na = "")

each <- sapply(fits, function(f) predict(f, newdata = score))
own <- rep(NA_real_, nrow(score))
for (g in groups) {
  at <- !is.na(score$cyl) & score$cyl == g
  own[at] <- each[at, as.character(g)]
}
fmt <- function(x) sprintf("%.17g", x)
write.csv(data.frame(row = seq_len(nrow(score)), cyl = score$cyl, own = fmt(own),
                     p4 = fmt(each[, "4"]), p6 = fmt(each[, "6"]), p8 = fmt(each[, "8"])),
          file.path(out, "by_score_predictions.csv"), row.names = FALSE, quote = FALSE,
          na = "")
ase <- t(sapply(groups, function(g) {
  v <- valid[valid$cyl == g, ]
  r <- v$mpg - predict(fits[[as.character(g)]], newdata = v)
  c(g, nrow(v), mean(r^2))
}))
write.csv(data.frame(cyl = ase[, 1], rows = ase[, 2], ase = fmt(ase[, 3])),
          file.path(out, "by_valid_ase.csv"), row.names = FALSE, quote = FALSE)
