#!/usr/bin/Rscript
# The LASSO path of glmnet on the CSV of the path benchmark (bench/path_run.sh): the data read
# with data.table::fread (not timed), then glmnet's default path on the standardized columns
# (its own standardization), and the whole path of 100 lambdas, timed. With a second argument,
# also writes the columns and the response as raw doubles for bench/path_lars.py.
#   Rscript bench/path_glmnet.R FILE.csv [FILE.bin]
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
report <- function(what, t, fit) {
  cat(sprintf("glmnet, %s: %d rows, %d columns, %d lambdas, %.2f s elapsed (%.2f s CPU), %d effects at the end\n",
              what, nrow(x), ncol(x), length(fit$lambda), t[["elapsed"]],
              t[["user.self"]] + t[["sys.self"]], sum(coef(fit, s = min(fit$lambda))[-1] != 0)))
}
t <- system.time(fit <- glmnet(x, y))
report("default path", t, fit)
# All 100 lambdas, down to 1e-4 of the largest: glmnet's early end of the path switched off.
glmnet.control(fdev = 0)
t <- system.time(fit <- glmnet(x, y, lambda.min.ratio = 1e-4))
report("whole path", t, fit)
glmnet.control(factory = TRUE)
if (length(args) > 1) {
  con <- file(args[2], "wb")
  writeBin(as.vector(x), con)
  writeBin(y, con)
  close(con)
}
