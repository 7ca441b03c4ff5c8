#!/usr/bin/Rscript
# cv.glmnet with alpha 0.5 on the CSV of the tuning benchmark (bench/tuning_run.sh), the folds
# of CVMETHOD=SPLIT(5) (row i in fold i mod 5): the data read with data.table::fread (not
# timed), then the cross-validated path, timed. With a second argument, also writes the columns
# and the response as raw doubles for bench/tuning_sklearn.py.
#   Rscript bench/tuning_glmnet.R FILE.csv [FILE.bin]
suppressMessages({
  library(data.table)
  library(glmnet)
})
args <- commandArgs(trailingOnly = TRUE)
d <- fread(args[1])
y <- d$y
x <- as.matrix(d[, -1])
rm(d)
invisible(gc())
foldid <- (seq_len(nrow(x)) - 1) %% 5 + 1
t <- system.time(fit <- cv.glmnet(x, y, alpha = 0.5, foldid = foldid))
cat(sprintf("glmnet cv.glmnet (alpha 0.5, 5 folds): %d rows, %d columns, %d lambdas, %.2f s elapsed (%.2f s CPU), lambda.min %.6g\n",
            nrow(x), ncol(x), length(fit$lambda), t[["elapsed"]],
            t[["user.self"]] + t[["sys.self"]], fit$lambda.min))
if (length(args) > 1) {
  con <- file(args[2], "wb")
  writeBin(as.vector(x), con)
  writeBin(y, con)
  close(con)
}
