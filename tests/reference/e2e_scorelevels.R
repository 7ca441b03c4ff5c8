#!/usr/bin/Rscript
# Regenerate: Rscript tests/reference/e2e_scorelevels.R
# Data and reference values of the end-to-end tests of CLASS levels in scored and validation
# data (tests/e2e/scoring_test.cpp), written into tests/data/e2e/:
#   region_train.csv        region, x, y: 40 rows, regions east north south west
#   region_score.csv        region, x: new rows, among them levels the training data do not
#                           have (northeast, central), " south" with a leading blank, a missing
#                           region
#   region_valid.csv        region, x, y: validation rows, two of them with unseen regions
#   region_predictions.csv  row, p, p_aligned: R's predict() of lm(y ~ region + x) for each
#                           row of region_score.csv whose region is a training level (NA
#                           otherwise, as R cannot predict a new level); p_aligned with the
#                           region's blanks trimmed first, as CLASS levels are aligned
#   region_valid_ase.csv    rows, ase: the validation rows with a training level and their
#                           average squared error
args <- commandArgs(trailingOnly = FALSE)
here <- dirname(normalizePath(sub("^--file=", "", args[grep("^--file=", args)])))
out <- file.path(here, "..", "data", "e2e")

set.seed(28)
regions <- c("east", "north", "south", "west")
shift <- c(east = 0, north = 1, south = -1, west = 2)
train <- data.frame(region = rep(regions, 10), x = round(runif(40, 0, 10), 2))
train$y <- round(1 + 0.5 * train$x + shift[train$region] + rnorm(40, 0, 0.5), 3)
score <- data.frame(region = c("east", "northeast", "central", " south", "west", "north", "",
                               "central"),
                    x = c(1, 2, 3, 4, 5, 6, 7, 8))
valid <- data.frame(region = c("east", "northeast", "central", "west", "south", "north"),
                    x = c(1.5, 2.5, 3.5, 4.5, 5.5, 6.5))
valid$y <- round(1 + 0.5 * valid$x + c(0, 1, 0, 2, -1, 1) + c(0.3, -0.2, 0.1, -0.4, 0.2, 0), 3)
write.csv(train, file.path(out, "region_train.csv"), row.names = FALSE, quote = FALSE)
write.csv(score, file.path(out, "region_score.csv"), row.names = FALSE)
write.csv(valid, file.path(out, "region_valid.csv"), row.names = FALSE, quote = FALSE)

fit <- lm(y ~ region + x, data = train)
predict_known <- function(d) {
  p <- rep(NA_real_, nrow(d))
  known <- d$region %in% regions
  p[known] <- predict(fit, newdata = d[known, ])
  p
}
aligned <- score
aligned$region <- trimws(score$region)
write.csv(data.frame(row = seq_len(nrow(score)), p = sprintf("%.17g", predict_known(score)),
                     p_aligned = sprintf("%.17g", predict_known(aligned))),
          file.path(out, "region_predictions.csv"), row.names = FALSE, quote = FALSE)
known <- valid$region %in% regions
r <- valid$y[known] - predict(fit, newdata = valid[known, ])
write.csv(data.frame(rows = sum(known), ase = sprintf("%.17g", mean(r^2))),
          file.path(out, "region_valid_ase.csv"), row.names = FALSE, quote = FALSE)
