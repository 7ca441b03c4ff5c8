#!/usr/bin/Rscript
# Regenerate: Rscript tests/reference/selection_fixtures.R
# Writes the reference fits of the selection engine tests into tests/data/selection/: for each
# case the design rows (response, weight, frequency, fold, role, then the design columns named
# e<effect>_<column>), and for a nested list of models the estimates (NA for aliased columns),
# SSE, rank and criteria from R's lm.
args <- commandArgs(trailingOnly = FALSE)
here <- dirname(normalizePath(sub("--file=", "", args[grep("--file=", args)])))
out <- file.path(here, "..", "data", "selection")
data_dir <- file.path(here, "..", "..", "examples", "data")
dir.create(out, showWarnings = FALSE, recursive = TRUE)

indicators <- function(v) {
  lev <- sort(unique(v))
  sapply(lev, function(l) as.numeric(v == l))
}

# effects: a list of matrices (one per effect); models: a list of effect index vectors (0-based)
# whose last element is the full model.
write_case <- function(name, y, effects, models, w = rep(1, length(y)), fold = NULL,
                       role = NULL) {
  n_rows <- length(y)
  f <- rep(1, n_rows)
  if (is.null(fold)) fold <- rep(-999, n_rows)
  if (is.null(role)) role <- rep(1, n_rows)
  cols <- list()
  for (e in seq_along(effects)) {
    m <- as.matrix(effects[[e]])
    for (j in seq_len(ncol(m))) cols[[sprintf("e%d_%d", e - 1, j - 1)]] <- m[, j]
  }
  rows <- data.frame(y = y, w = w, f = f, fold = fold, role = role, cols, check.names = FALSE)
  write.csv(rows, file.path(out, paste0(name, "_rows.csv")), row.names = FALSE)

  train <- role == 1
  yt <- y[train]
  wt <- w[train]
  n <- sum(f[train])
  design <- function(es) do.call(cbind, lapply(es, function(e) as.matrix(effects[[e + 1]])))
  sst <- sum(wt * (yt - sum(wt * yt) / sum(wt))^2)
  full <- models[[length(models)]]
  fit_full <- lm(yt ~ 0 + design(full)[train, , drop = FALSE], weights = wt)
  sigma2 <- sum(wt * residuals(fit_full)^2) / (n - fit_full$rank)

  stats <- NULL
  coefs <- NULL
  prev <- NULL
  for (mi in seq_along(models)) {
    es <- models[[mi]]
    X <- design(es)
    Xt <- X[train, , drop = FALSE]
    fit <- lm(yt ~ 0 + Xt, weights = wt)
    rss <- sum(wt * residuals(fit)^2)
    p <- fit$rank
    h <- hatvalues(fit)
    press <- sum(wt * (residuals(fit) / (1 - h))^2)
    logp <- NA
    if (!is.null(prev)) {
      a <- anova(prev, fit)
      logp <- log(a[["Pr(>F)"]][2])
    }
    cv <- NA
    if (any(fold >= 0)) {
      cv <- 0
      for (k in sort(unique(fold[train]))) {
        inside <- train & fold == k
        rest <- train & fold != k
        fk <- lm(y[rest] ~ 0 + X[rest, , drop = FALSE], weights = w[rest])
        b <- coef(fk)
        b[is.na(b)] <- 0
        r <- y[inside] - X[inside, , drop = FALSE] %*% b
        cv <- cv + sum(w[inside] * r^2)
      }
    }
    ase <- function(k) {
      rows_k <- role == k
      if (!any(rows_k)) return(NA)
      b <- coef(fit)
      b[is.na(b)] <- 0
      r <- y[rows_k] - X[rows_k, , drop = FALSE] %*% b
      sum(w[rows_k] * r^2) / sum(w[rows_k])
    }
    q <- n * sigma2 / rss
    stats <- rbind(stats, data.frame(
      model = mi - 1, effects = paste(es, collapse = ";"), n = n, sse = rss, rank = p,
      sst = sst, sigma2 = sigma2,
      aic = extractAIC(fit)[2] + n + 2,
      aicc = n * (log(rss / n) + 1 + 2 * (p + 1) / (n - 2 - p)),
      sbc = extractAIC(fit, k = log(n))[2],
      cp = rss / sigma2 - n + 2 * p,
      bic = n * log(rss / n) + 2 * q * (p + 2 - q),
      rsq = 1 - rss / sst,
      adjrsq = 1 - (n - 1) * rss / ((n - p) * sst),
      press = press, cvpress = cv, valid_ase = ase(2), test_ase = ase(4), logp = logp))
    b <- coef(fit)
    coefs <- rbind(coefs, data.frame(model = mi - 1, column = seq_along(b) - 1,
                                     estimate = unname(b)))
    prev <- fit
  }
  write.csv(stats, file.path(out, paste0(name, "_models.csv")), row.names = FALSE, na = "")
  write.csv(coefs, file.path(out, paste0(name, "_coef.csv")), row.names = FALSE, na = "")
}

# mtcars: CLASS-like indicator columns for cyl and gear (the last level of each is aliased
# with the intercept) and a column that is a linear combination of disp and wt.
mt <- read.csv(file.path(data_dir, "mtcars.csv"))
one <- rep(1, nrow(mt))
write_case("mtcars", mt$mpg,
           list(one, indicators(mt$cyl), mt$disp, mt$hp, mt$wt, mt$am, mt$disp - 100 * mt$wt,
                indicators(mt$gear)),
           list(c(0), c(0, 4), c(0, 4, 3), c(0, 4, 3, 1), c(0, 4, 3, 1, 6), c(0, 4, 3, 1, 6, 2),
                c(0, 4, 3, 1, 6, 2, 5), c(0, 4, 3, 1, 6, 2, 5, 7)))

# diabetes: sex as a CLASS-like effect, a weight, ten continuous effects; k-fold folds in a
# second case and partition roles in a third.
db <- read.csv(file.path(data_dir, "diabetes.csv"))
k <- seq_len(nrow(db))
wd <- 1 / (1 + (k %% 3))
db_effects <- list(rep(1, nrow(db)), indicators(db$sex), db$age, db$bmi, db$bp, db$s1, db$s2,
                   db$s3, db$s4, db$s5, db$s6)
db_models <- list(c(0), c(0, 3), c(0, 3, 9), c(0, 3, 9, 4), c(0, 3, 9, 4, 1),
                  c(0, 3, 9, 4, 1, 2, 5, 6, 7, 8, 10))
write_case("diabetes", db$y, db_effects, db_models, w = wd)
write_case("diabetes_cv", db$y, db_effects, db_models, w = wd, fold = (k - 1) %% 5)
write_case("diabetes_part", db$y, db_effects, db_models, w = wd,
           role = ifelse(k %% 7 == 0, 2, ifelse(k %% 7 == 3, 4, 1)))

# swiss (R's datasets): every continuous variable an effect of its own.
data(swiss)
sw <- swiss
write_case("swiss", sw$Fertility,
           list(rep(1, nrow(sw)), sw$Agriculture, sw$Examination, sw$Education, sw$Catholic,
                sw$Infant.Mortality),
           list(c(0), c(0, 3), c(0, 3, 4), c(0, 3, 4, 5), c(0, 3, 4, 5, 1), c(0, 3, 4, 5, 1, 2)))
