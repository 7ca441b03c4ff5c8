#!/usr/bin/Rscript
# The peer of bench/many_by.sh: reads the CSV with data.table's fread and fits each BY group's
# least squares of y on x1-x10 and an intercept with lm.fit (no selection); prints the groups and
# the sum of the coefficients, so that the fits cannot be skipped.
#   Rscript bench/many_by_r.R FILE
suppressMessages(library(data.table))
setDTthreads(0)
d <- fread(commandArgs(trailingOnly = TRUE)[1])
xs <- paste0("x", 1:10)
fit <- d[, as.list(lm.fit(cbind(1, as.matrix(.SD)), y)$coefficients), by = g, .SDcols = xs]
cat(sprintf("groups %d, sum of coefficients %.6g\n", nrow(fit), sum(as.matrix(fit[, -1]))))
