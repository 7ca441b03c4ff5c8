#!/usr/bin/Rscript
# Regenerate: Rscript tests/reference/displays_fixtures.R
# Writes the reference tables of the display tests into tests/data/displays/: for each case the
# design rows (response, weight, frequency, fold, role, then the design columns named
# e<effect>_<column>), a forward path of nested models with their criteria and the F test of
# each step against the step before, and for the last model of the path the ANOVA rows, the
# fit statistics and the parameter estimates as R's lm gives them (NA for aliased columns).
# AIC, AICC and SBC follow the procedure's definitions: n log(SSE/n) + 2p + n + 2,
# n (log(SSE/n) + 1 + 2(p + 1)/(n - p - 2)) and n log(SSE/n) + p log(n), p the model's rank.
args <- commandArgs(trailingOnly = FALSE)
here <- dirname(normalizePath(sub("--file=", "", args[grep("--file=", args)])))
out <- file.path(here, "..", "data", "displays")
data_dir <- file.path(here, "..", "..", "examples", "data")
dir.create(out, showWarnings = FALSE, recursive = TRUE)

write_fixture <- function(frame, file) {
  write.csv(frame, file.path(out, file), row.names = FALSE, na = "NA")
}

# effects: list of matrices (effect 0 first); path: list of 0-based effect index vectors, each
# model nested in the next; noint: the models have no intercept column (effect 0 stays out).
write_case <- function(name, y, effects, path, noint = FALSE) {
  n <- length(y)
  cols <- list()
  for (e in seq_along(effects)) {
    m <- as.matrix(effects[[e]])
    for (j in seq_len(ncol(m))) cols[[sprintf("e%d_%d", e - 1, j - 1)]] <- m[, j]
  }
  rows <- data.frame(y = y, w = 1, f = 1, fold = -999, role = 1, cols, check.names = FALSE)
  write_fixture(rows, paste0("displays_", name, "_rows.csv"))

  design <- function(es) do.call(cbind, lapply(es, function(e) as.matrix(effects[[e + 1]])))
  tss <- if (noint) sum(y^2) else sum((y - mean(y))^2)
  fits <- lapply(path, function(es) lm(y ~ 0 + design(es)))
  stats <- NULL
  for (k in seq_along(path)) {
    fit <- fits[[k]]
    sse <- sum(residuals(fit)^2)
    p <- fit$rank
    f <- NA
    pv <- NA
    if (k > 1) {
      a <- anova(fits[[k - 1]], fit)
      f <- a[["F"]][2]
      pv <- a[["Pr(>F)"]][2]
    }
    adj <- 1 - (if (noint) n else n - 1) * sse / ((n - p) * tss)
    stats <- rbind(stats, data.frame(
      step = k - 1, effects = paste(path[[k]], collapse = ";"), n = n, sse = sse, rank = p,
      rsq = 1 - sse / tss, adjrsq = adj, aic = n * log(sse / n) + 2 * p + n + 2,
      aicc = n * (log(sse / n) + 1 + 2 * (p + 1) / (n - 2 - p)),
      sbc = n * log(sse / n) + p * log(n), f = f, p_value = pv))
  }
  write_fixture(stats, paste0("displays_", name, "_path.csv"))

  fit <- fits[[length(fits)]]
  s <- summary(fit)
  sse <- sum(residuals(fit)^2)
  p <- fit$rank
  dfm <- if (noint) p else p - 1
  dfe <- n - p
  ssm <- tss - sse
  fval <- (ssm / dfm) / (sse / dfe)
  anova_rows <- data.frame(
    source = c("model", "error", "total"), df = c(dfm, dfe, dfm + dfe), ss = c(ssm, sse, tss),
    ms = c(ssm / dfm, sse / dfe, NA), f = c(fval, NA, NA),
    p = c(pf(fval, dfm, dfe, lower.tail = FALSE), NA, NA))
  write_fixture(anova_rows, paste0("displays_", name, "_anova.csv"))

  # summary.lm measures R-square against the uncorrected total without an intercept; with one,
  # the model is refitted with lm's own intercept so that it measures against the corrected one.
  if (!noint) s <- summary(lm(y ~ design(path[[length(path)]])[, -1]))
  fitstats <- data.frame(
    statistic = c("rootmse", "mean", "rsq", "adjrsq", "aic", "aicc", "sbc"),
    value = c(s$sigma, mean(y), s$r.squared, s$adj.r.squared, stats$aic[nrow(stats)],
              stats$aicc[nrow(stats)], stats$sbc[nrow(stats)]))
  write_fixture(fitstats, paste0("displays_", name, "_fit.csv"))

  last <- path[[length(path)]]
  widths <- sapply(last, function(e) ncol(as.matrix(effects[[e + 1]])))
  cf <- coef(fit)
  table <- coef(summary(fit))
  parms <- NULL
  k <- 0
  for (i in seq_along(last)) {
    for (j in seq_len(widths[i])) {
      k <- k + 1
      nm <- names(cf)[k]
      has <- !is.na(cf[k])
      parms <- rbind(parms, data.frame(
        effect = last[i], column = j - 1, estimate = if (has) table[nm, 1] else NA,
        stderr = if (has) table[nm, 2] else NA, t = if (has) table[nm, 3] else NA,
        p = if (has) table[nm, 4] else NA))
    }
  }
  write_fixture(parms, paste0("displays_", name, "_parms.csv"))
}

indicators <- function(v) {
  lev <- sort(unique(v))
  sapply(lev, function(l) as.numeric(v == l))
}

mtcars <- read.csv(file.path(data_dir, "mtcars.csv"))
one <- rep(1, nrow(mtcars))
write_case("mtcars", mtcars$mpg, list(one, mtcars$wt, mtcars$hp, mtcars$qsec),
           list(c(0), c(0, 1), c(0, 1, 2), c(0, 1, 2, 3)))
write_case("mtcars_noint", mtcars$mpg, list(one, mtcars$wt, mtcars$hp),
           list(c(1), c(1, 2)), noint = TRUE)

# A CLASS effect coded by full indicators beside the intercept: its last column is aliased.
diabetes <- read.csv(file.path(data_dir, "diabetes.csv"))
one <- rep(1, nrow(diabetes))
write_case("diabetes", diabetes$y,
           list(one, indicators(diabetes$sex), diabetes$bmi, diabetes$bp, diabetes$s5),
           list(c(0), c(0, 2), c(0, 2, 4), c(0, 2, 4, 1), c(0, 2, 4, 1, 3)))
