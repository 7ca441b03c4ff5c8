#!/usr/bin/Rscript
# Coding matrices of the orthogonalised CLASS parametrizations.
#
# Regenerate with:  Rscript tests/reference/levelize_codings.R
# Writes tests/data/levelize/codings.csv: for each case (coding code, number of levels n,
# reference level r0 from 0, numeric level values or character) the n x (n - 1) matrix, one
# row per cell. The base matrices come from R's contrasts where R has them (contr.sum for
# ORTHEFFECT with the reference last, contr.treatment for ORTHREF, contr.poly for ORTHPOLY);
# each column is centred, the columns are orthonormalised (QR with a positive diagonal) and
# scaled by sqrt(n), so that every column has mean 0 and sum of squares n.

out <- file.path(dirname(sub("--file=", "", grep("--file=", commandArgs(FALSE), value = TRUE))),
                 "..", "data", "levelize", "codings.csv")

orthonormal <- function(B) {
  n <- nrow(B)
  B <- sweep(B, 2, colMeans(B))
  q <- qr(B)
  Q <- qr.Q(q) %*% diag(sign(diag(qr.R(q))), ncol(B))
  Q * sqrt(n)
}

effect_base <- function(n, r0, ref_row) {
  B <- matrix(0, n, n - 1)
  col <- 1
  for (r in seq_len(n)) {
    if (r - 1 == r0) {
      B[r, ] <- ref_row
    } else {
      B[r, col] <- 1
      col <- col + 1
    }
  }
  B
}

cases <- list(
  list(name = "ORTHEFFECT n=2", code = 1, n = 2, r0 = 1, values = NULL),
  list(name = "ORTHEFFECT n=4", code = 1, n = 4, r0 = 3, values = NULL),
  list(name = "ORTHEFFECT n=4 ref 1", code = 1, n = 4, r0 = 1, values = NULL),
  list(name = "ORTHREF n=3", code = 3, n = 3, r0 = 2, values = NULL),
  list(name = "ORTHREF n=4", code = 3, n = 4, r0 = 3, values = NULL),
  list(name = "ORTHREF n=5 ref 0", code = 3, n = 5, r0 = 0, values = NULL),
  list(name = "ORTHPOLY numeric", code = 5, n = 4, r0 = 3, values = c(1, 2, 4, 8)),
  list(name = "ORTHPOLY numeric with zero", code = 5, n = 3, r0 = 2, values = c(-1, 0, 2)),
  list(name = "ORTHPOLY character n=3", code = 5, n = 3, r0 = 2, values = NULL),
  list(name = "ORTHPOLY character n=4", code = 5, n = 4, r0 = 3, values = NULL),
  list(name = "ORTHORDINAL n=2", code = 8, n = 2, r0 = 0, values = NULL),
  list(name = "ORTHORDINAL n=5", code = 8, n = 5, r0 = 0, values = NULL),
  list(name = "ORTHBATHTUB n=2", code = 10, n = 2, r0 = 1, values = NULL),
  list(name = "ORTHBATHTUB n=4", code = 10, n = 4, r0 = 3, values = NULL)
)

rows <- list()
for (cs in cases) {
  n <- cs$n
  m <- n - 1
  r0 <- cs$r0
  B <- switch(as.character(cs$code),
    "1" = {
      B <- effect_base(n, r0, -1)
      if (r0 == n - 1) stopifnot(all(B == contr.sum(n)))
      B
    },
    "3" = {
      B <- effect_base(n, r0, 0)
      stopifnot(all(B == contr.treatment(n, base = r0 + 1)))
      B
    },
    "5" = {
      x <- if (is.null(cs$values)) ((0:m) - m / 2) / (m / 2) else cs$values
      outer(x, 1:m, "^")
    },
    "8" = outer(0:m, 0:(m - 1), function(r, j) as.numeric(j < r)),
    "10" = {
      c0 <- sqrt(1.5 * n / (n * n - 1))
      outer(0:m, 0:(m - 1), function(r, j) ifelse(j < r, c0, -c0))
    })
  M <- orthonormal(B)
  if (cs$code == 5) {
    scores <- if (is.null(cs$values)) seq_len(n) else cs$values
    stopifnot(max(abs(M - contr.poly(n, scores = scores) * sqrt(n))) < 1e-12)
  }
  values <- if (is.null(cs$values)) "" else paste(cs$values, collapse = " ")
  for (r in seq_len(n)) for (j in seq_len(m)) {
    rows[[length(rows) + 1]] <- data.frame(case = cs$name, code = cs$code, n = n, ref = r0,
                                           values = values, row = r - 1, col = j - 1,
                                           value = sprintf("%.17g", M[r, j]))
  }
}
write.csv(do.call(rbind, rows), out, row.names = FALSE, quote = TRUE)
