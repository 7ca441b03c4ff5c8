#!/usr/bin/Rscript
# Regenerate: Rscript tests/reference/methods_provider.R
# The crossproducts provider's reference (tests/data/methods/provider_*.csv): observations of
# an intercept, a continuous x and a three-level CLASS variable A (one column per level) with
# two responses; a weight, a weight floor of 0.05 and one observation whose responses are not
# usable. Expected: the accumulated matrix (columns 1, x, A1, A2, A3, y1, y2), the estimates of
# lm (A3 aliased: 0), the residual and the uncorrected response crossproducts, and the
# hypothesis crossproducts of L b for three combinations (the third twice the second, so the
# rank is 2), with a generalized inverse of L G L'.
suppressMessages(library(MASS))
args <- commandArgs(trailingOnly = FALSE)
here <- dirname(normalizePath(sub("--file=", "", args[grep("--file=", args)])))
out <- file.path(here, "..", "data", "methods")
set.seed(11)
n <- 40
obs <- data.frame(w = round(runif(n, 0.5, 2), 2), usable = 1, x = round(rnorm(n), 3),
                  a = sample(0:2, n, replace = TRUE))
obs$w[5] <- 0.04  # at or below the floor: adds nothing
obs$usable[9] <- 0
obs$y1 <- round(1 + 2 * obs$x + c(0, 1, -1)[obs$a + 1] + rnorm(n, sd = 0.3), 3)
obs$y2 <- round(-1 + 0.5 * obs$x + c(2, 0, 1)[obs$a + 1] + rnorm(n, sd = 0.5), 3)
write.csv(obs, file.path(out, "provider_obs.csv"), row.names = FALSE)

use <- obs$usable == 1
w <- ifelse(obs$w <= 0.05, 0, obs$w)[use]
d <- obs[use, ]
X <- cbind(1, d$x, d$a == 0, d$a == 1, d$a == 2)
Y <- cbind(d$y1, d$y2)
Z <- cbind(X, Y)
A <- t(Z) %*% (w * Z)
Xf <- X[, 1:4]
G4 <- solve(t(Xf) %*% (w * Xf))
B <- G4 %*% t(Xf) %*% (w * Y)  # rows: columns 1..4; A3 aliased
G <- matrix(0, 5, 5)
G[1:4, 1:4] <- G4
R <- Y - Xf %*% B
err <- t(R) %*% (w * R)
resp <- t(Y) %*% (w * Y)
L <- rbind(c(0, 1, 0, 0, 0), c(0, 0, 1, -1, 0), c(0, 0, 2, -2, 0))
Bfull <- rbind(B, 0)
E <- L %*% Bfull  # m x responses
Q <- L %*% G %*% t(L)
H <- t(E) %*% ginv(Q) %*% E
rows <- NULL
put <- function(item, M) {
  for (i in seq_len(nrow(M))) for (j in seq_len(ncol(M)))
    rows <<- rbind(rows, data.frame(item = item, i = i - 1, j = j - 1, value = M[i, j]))
}
put("accumulated", A)
put("estimates", t(Bfull))
put("error", err)
put("response", resp)
put("hypothesis", H)
put("combinations", E)
write.csv(rows, file.path(out, "provider_expected.csv"), row.names = FALSE)
