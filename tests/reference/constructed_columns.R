#!/usr/bin/Rscript
# Regenerate: Rscript tests/reference/constructed_columns.R
# The data and reference columns of the constructed-effect tests (tests/design/constructed_test.cpp):
#   constructed.csv          a panel of 6 subjects over 8 periods (two periods missing) with
#                            continuous x and z, frequency f, weight w, CLASS g, h, L
#   constructed_columns.csv  case, row, column, value: each effect's design columns per row
#   constructed_knots.csv    case, knot, value: each spline's knot sequence
# The knots follow the procedure's rules, written out here: interior knots by the knot method
# (EQUAL: min + j h, h = range / (K + 1); percentiles: quantile(type = 2), on the data expanded by
# frequency), and for a B-spline basis d lower and max(d, 1) upper boundary knots, the range
# widened by 500 epsilons (EQUAL continues its spacing outward, KNOTMIN= and KNOTMAX= spread the
# outer knots). B-spline columns are splines::splineDesign on that knot sequence (one knot added
# at each end, which no column within the range depends on); truncated power columns are
# (x - t)^e with e counting down over repeated knots; the natural cubic columns are
# splines::ns on the same knots, which the test compares by the space they span; polynomial
# columns are poly(raw = TRUE) of the centred and scaled variables; LAG columns come from
# merging the data with itself on the previous period.
suppressMessages(library(splines))
args <- commandArgs(trailingOnly = FALSE)
here <- dirname(normalizePath(sub("^--file=", "", args[grep("^--file=", args)])))
out <- file.path(here, "..", "data", "design")
dir.create(out, showWarnings = FALSE, recursive = TRUE)

set.seed(20261207)
d <- expand.grid(per = 1:8, subj = 1:6)[, c("subj", "per")]
n <- nrow(d)
d$x <- round(runif(n, 0, 10), 1)
d$x[c(5, 17, 30)] <- d$x[3]  # ties
d$z <- round(rnorm(n), 3)
d$f <- sample(1:3, n, replace = TRUE)
d$w <- round(runif(n, 0.5, 2), 2)
d$g <- sample(c("a", "b", "c"), n, TRUE)
d$h <- sample(c("a", "c", "d"), n, TRUE)
d$wg <- round(runif(n, 0.1, 1), 2)
d$wh <- round(runif(n, 0.1, 1), 2)
d$L <- sample(c("u", "v", "w"), n, TRUE)
d$y <- round(1 + d$x + sin(d$x) + d$z + rnorm(n, sd = 0.3), 3)
d <- d[!((d$subj == 2 & d$per == 4) | (d$subj == 5 & d$per == 7)), ]
rownames(d) <- NULL
write.csv(d, file.path(out, "constructed.csv"), row.names = FALSE, quote = FALSE)

columns <- NULL
knots <- NULL
add_columns <- function(case, m) {
  m <- as.matrix(m)
  columns <<- rbind(columns, data.frame(case = case, row = rep(seq_len(nrow(m)), ncol(m)),
                                        column = rep(seq_len(ncol(m)), each = nrow(m)),
                                        value = as.vector(m)))
}
add_knots <- function(case, t) {
  knots <<- rbind(knots, data.frame(case = case, knot = seq_along(t), value = t))
}

widen <- function(b, direction) {
  eps <- 1.110223024625157e-13
  v <- b + direction * eps
  while (!(if (direction < 0) v < b else v > b)) {
    eps <- eps * 10
    v <- b + direction * eps
  }
  v
}
q2 <- function(v, k, freq = NULL) {
  if (!is.null(freq)) v <- rep(v, freq)
  unname(quantile(v, (1:k) / (k + 1), type = 2))
}
# The B-spline knot sequence of a variable with values v: interior knots t, the lower and upper
# boundary knots by the method.
bknots <- function(v, t, d, equal = FALSE, databoundary = FALSE, kmin = NA, kmax = NA) {
  lo <- min(v); hi <- max(v); L <- widen(lo, -1); U <- widen(hi, 1)
  h <- (hi - lo) / (length(t) + 1)
  spaced <- equal && !databoundary
  lower <- if (d == 0) numeric(0) else if (!is.na(kmin) && kmin < L) {
    if (d == 1) kmin else kmin + (0:(d - 1)) * (L - kmin) / (d - 1)
  } else if (spaced) c(lo - rev(seq_len(d - 1)) * h, L) else rep(L, d)
  up <- max(d, 1)
  upper <- if (!is.na(kmax) && kmax > U) {
    if (up == 1) kmax else U + (0:(up - 1)) * (kmax - U) / (up - 1)
  } else if (spaced) c(U, hi + seq_len(up - 1) * h)[seq_len(up)] else rep(U, up)
  c(lower, t, upper)
}
bspline <- function(case, v, t, d) {
  ext <- if (d == 0) c(widen(min(v), -1), t) else c(t[1], t, t[length(t)])
  add_knots(case, t)
  add_columns(case, splineDesign(ext, v, ord = d + 1, outer.ok = FALSE))
}
tpf <- function(case, v, t, d, extra = 2) {
  add_knots(case, t)
  m <- matrix(0, length(v), 0)
  if (extra >= 2) m <- cbind(m, rep(1, length(v)))
  if (extra >= 1 && d > 0) for (p in 1:d) m <- cbind(m, v^p)
  e <- d
  for (j in seq_along(t)) {
    e <- if (j > 1 && t[j] == t[j - 1]) max(e - 1, 0) else d
    m <- cbind(m, ifelse(v > t[j], (v - t[j])^e, 0))
  }
  add_columns(case, m)
}

x <- d$x; z <- d$z
lo <- min(x); hi <- max(x)
equal <- function(v, k) min(v) + (1:k) * (max(v) - min(v)) / (k + 1)

# ---- The basis step (no FREQ; WEIGHT w) ----
bspline("b3", x, bknots(x, equal(x, 3), 3, equal = TRUE), 3)
bspline("b2", x, bknots(x, q2(x, 4), 2), 2)
bspline("b0", x, bknots(x, c(2, 5, 7), 0), 0)
bspline("b1", z, bknots(z, min(z) + c(0.25, 0.5, 0.75) * (max(z) - min(z)), 1,
                        databoundary = TRUE), 1)
bspline("bm", x, bknots(x, equal(x, 2), 3, equal = TRUE, kmin = -5, kmax = 20), 3)
bspline("bw", x, c(-1, 0, 3, 6, 10, 11), 2)
tpf("t3", x, c(2, 4, 4, 6), 3)
tpf("tn", x, q2(x, 3), 2, extra = 1)
tn <- equal(x, 4)
add_knots("nc", tn)
add_columns("nc", ns(x, knots = tn[2:3], Boundary.knots = tn[c(1, 4)], intercept = TRUE))

# Polynomials: poly(raw = TRUE) orders its columns by the powers of the last variable first;
# the procedure's terms go by degree, then the first variable's powers descending.
terms_xz <- function(a, b, degree) {
  out <- matrix(0, length(a), 0)
  for (k in 1:degree) for (i in k:0) out <- cbind(out, a^i * b^(k - i))
  out
}
mom <- function(v, wt) {
  W <- sum(wt); m <- sum(wt * v) / W
  c(m, sqrt((sum(wt * v^2) - sum(wt * v)^2 / W) / (length(v) - 1)))
}
sx <- mom(x, rep(1, length(x))); sz <- mom(z, rep(1, length(z)))
add_columns("p", terms_xz((x - sx[1]) / sx[2], (z - sz[1]) / sz[2], 3))
stopifnot(all.equal(unname(terms_xz((x - sx[1]) / sx[2], (z - sz[1]) / sz[2], 3)[, c(1, 3, 6)]),
                    unname(poly((x - sx[1]) / sx[2], degree = 3, raw = TRUE)[, 1:3])))
wx <- mom(x, d$w); wz <- mom(z, d$w)
add_columns("pw", terms_xz(x - wx[1], z - wz[1], 2))
add_columns("pr", poly(x / ((hi - lo) / 2), degree = 2, raw = TRUE))

# ---- The frequency step (FREQ f) ----
bspline("pf", x, bknots(x, q2(x, 5, d$f), 3), 3)
tpf("tf", x, q2(x, 4, d$f), 3)
fx <- c(sum(d$f * x) / sum(d$f),
        sqrt((sum(d$f * x^2) - sum(d$f * x)^2 / sum(d$f)) / (sum(d$f) - 1)))
add_columns("pf2", poly((x - fx[1]) / fx[2], degree = 2, raw = TRUE))

# ---- The LAG step: the previous period's L of the same subject ----
prev <- transform(d[, c("subj", "per", "L")], per = per + 1)
names(prev)[3] <- "lagL"
m <- merge(cbind(d, row = seq_len(nrow(d))), prev, by = c("subj", "per"), all.x = TRUE)
m <- m[order(m$row), ]
usable <- m$per == 1 | !is.na(m$lagL)
lv <- sort(unique(d$L))
ind <- sapply(lv, function(l) ifelse(m$per == 1, 0, as.numeric(m$lagL == l)))[usable, ]
add_columns("lag", ind)
add_columns("lagref", ind[, -length(lv)])

write.csv(columns, file.path(out, "constructed_columns.csv"), row.names = FALSE, quote = FALSE)
write.csv(knots, file.path(out, "constructed_knots.csv"), row.names = FALSE, quote = FALSE)
