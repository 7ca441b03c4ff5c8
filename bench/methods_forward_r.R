#!/usr/bin/Rscript
# R's forward selection by SBC on the rows of bench/methods_forward_bench.cpp: step() with
# k = log(n) and leaps::regsubsets(method = "forward"), timed, and their entry orders against
# the one the benchmark wrote.
# Run: VSF_METHODS_DUMP=/tmp/mfb build-bench/bench/methods_forward_bench, then
#      Rscript bench/methods_forward_r.R /tmp/mfb 100 [step|leaps|both] [steps for step()]
suppressMessages(library(leaps))
args <- commandArgs(trailingOnly = TRUE)
dir <- args[1]
q <- as.integer(args[2])
which <- if (length(args) >= 3) args[3] else "both"
max_steps <- if (length(args) >= 4) as.integer(args[4]) else 1000
con <- file(file.path(dir, sprintf("forward_%d.bin", q)), "rb")
dims <- readBin(con, "double", 2)
n <- dims[1]
y <- readBin(con, "double", n)
X <- matrix(readBin(con, "double", n * q), nrow = n)
close(con)
colnames(X) <- paste0("x", seq_len(q))
ours <- scan(file.path(dir, sprintf("forward_%d_order.txt", q)), quiet = TRUE)
cat(sprintf("n = %d, q = %d; varsifter's order: %s\n", n, q, paste(ours, collapse = " ")))

if (which %in% c("leaps", "both")) {
  t <- system.time(fit <- regsubsets(X, y, method = "forward", nvmax = length(ours) + 1))
  w <- summary(fit)$which[, -1, drop = FALSE]
  order <- integer(0)
  for (i in seq_len(nrow(w))) order <- c(order, setdiff(which(w[i, ]), order))
  cat(sprintf("leaps forward: %.1f s elapsed; first %d entries equal: %s\n", t[["elapsed"]],
              length(ours), identical(as.integer(order[seq_along(ours)]), as.integer(ours))))
}
if (which %in% c("step", "both")) {
  d <- data.frame(y = y, X)
  rm(X)
  gc()
  scope <- as.formula(paste("~", paste(paste0("x", seq_len(q)), collapse = " + ")))
  t <- system.time(fit <- step(lm(y ~ 1, data = d), scope = scope, direction = "forward",
                               k = log(n), trace = 0, steps = max_steps))
  moves <- as.integer(sub("\\+ x", "", as.character(fit$anova$Step)[-1]))
  cat(sprintf("step forward (%d steps at most): %.1f s elapsed; %d entries, equal to ours: %s\n",
              max_steps, t[["elapsed"]], length(moves),
              identical(moves, as.integer(ours[seq_along(moves)]))))
}
