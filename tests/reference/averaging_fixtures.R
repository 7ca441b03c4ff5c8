#!/usr/bin/Rscript
# Regenerate: ./tools/build.sh && Rscript tests/reference/averaging_fixtures.R build/app/varsifter
# Writes tests/data/averaging/average_reference.csv, the reference of the end-to-end model
# averaging test. The command runs the test's program once to export each sample's drawn
# counts (OUTPUT SAMPLEFREQ); every sample is then refitted here on the diabetes rows
# replicated by their counts: FORWARD by SBC with step() (k = log(n), which orders the moves
# as the procedure's SBC = n log(SSE/n) + p log(n) does) and lm's estimates of the model it
# ends with. Then, over the samples:
#   effect, <effect>, selection percentage
#   model, <effects in index order>, times selected, frequency score (times + the mean share of
#          the samples selecting each of its effects)
#   parm, <parameter>, mean (zeros for samples without it), standard deviation, median, and
#          the 25th and 75th percentiles by the averaged inverse of the empirical distribution
#          (quantile type 2), number nonzero
args <- commandArgs(trailingOnly = TRUE)
binary <- normalizePath(args[1])
here <- dirname(normalizePath(sub("--file=", "", grep("--file=", commandArgs(FALSE), value = TRUE))))
out <- file.path(here, "..", "data", "averaging")
program <- readLines(file.path(out, "average_program.vsf"))
lib <- tempfile("lib")
dir.create(lib)
file.copy(file.path(here, "..", "..", "examples", "data", "diabetes.csv"), lib)
prog <- file.path(lib, "program.vsf")
writeLines(c(program, "output out=work.counts samplefreq;", "run;"), prog)
status <- system2(binary, c(prog, "--lib", lib), stdout = FALSE)
stopifnot(status == 0)
counts <- read.csv(file.path(lib, "counts.csv"))
data <- read.csv(file.path(lib, "diabetes.csv"))
effects <- c("Intercept", "age", "sex", "bmi", "bp", paste0("s", 1:6))
scope <- as.formula(paste("~", paste(effects[-1], collapse = " + ")))
S <- sum(grepl("^sampleFreq", names(counts)))
models <- character(S)
estimates <- matrix(0, S, length(effects), dimnames = list(NULL, effects))
selected <- matrix(0, S, length(effects), dimnames = list(NULL, effects))
for (k in seq_len(S)) {
  rows <- data[rep(seq_len(nrow(data)), counts[[paste0("sampleFreq", k)]]), ]
  n <- nrow(rows)
  fit <- step(lm(y ~ 1, data = rows), scope = scope, direction = "forward", k = log(n),
              trace = 0)
  b <- coef(fit)
  names(b)[names(b) == "(Intercept)"] <- "Intercept"
  chosen <- effects[effects %in% names(b)]
  estimates[k, chosen] <- b[chosen]
  selected[k, chosen] <- 1
  models[k] <- paste(chosen, collapse = " ")
}
rows <- list()
add <- function(...) rows[[length(rows) + 1]] <<- data.frame(...)
share <- colSums(selected) / S
for (e in effects) add(kind = "effect", name = e, v1 = 100 * share[[e]], v2 = NA, v3 = NA,
                      v4 = NA, v5 = NA, v6 = NA)
for (m in unique(models)) {
  times <- sum(models == m)
  members <- strsplit(m, " ")[[1]]
  add(kind = "model", name = m, v1 = times, v2 = times + mean(share[members]), v3 = NA, v4 = NA,
      v5 = NA, v6 = NA)
}
for (e in effects) {
  v <- estimates[, e]
  add(kind = "parm", name = e, v1 = mean(v), v2 = sd(v), v3 = median(v),
      v4 = quantile(v, 0.25, type = 2, names = FALSE),
      v5 = quantile(v, 0.75, type = 2, names = FALSE), v6 = sum(v != 0))
}
write.csv(do.call(rbind, rows), file.path(out, "average_reference.csv"), row.names = FALSE)
