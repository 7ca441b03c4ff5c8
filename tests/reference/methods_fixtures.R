#!/usr/bin/Rscript
# Regenerate: Rscript tests/reference/methods_fixtures.R
# Reference selections for the classical methods, written into tests/data/methods/:
# - <case>_rows.csv: the design rows (response, weight, frequency, fold, role, then the design
#   columns named e<effect>_<column>; CLASS effects as one indicator column per level);
# - <case>_effects.csv: per effect its name, column count and the effects it contains;
# - paths.csv: per case and setting the order of entry (+) and removal (-) and the final
#   model: R's step() for SELECT=SBC (k = log n) and AIC (k = 2), forward, backward and both;
#   add1/drop1 loops for the default STEPWISE and for SELECT=SL (F tests against SLENTRY and
#   SLSTAY); leaps::regsubsets(method = "forward") for FORWARD's entry order;
# - choose.csv: along a FORWARD (or BACKWARD) path by SBC run to its end, the step that each
#   criterion picks and its value there (AIC = extractAIC + n + 2, SBC = extractAIC(k = log n),
#   AICC, Cp and BIC from their closed forms, adjusted R-square, PRESS from the hat values, CV
#   PRESS from the fits without each fold, validation ASE of the held-out rows);
# - adaptive.csv: adaptive weights |b|^gamma of the fit without the intercept;
# - data_paths.csv: FORWARD and BACKWARD with SELECT (and STOP) PRESS, CV or VALIDATE.
suppressMessages(library(MASS))
suppressMessages(library(leaps))
args <- commandArgs(trailingOnly = FALSE)
here <- dirname(normalizePath(sub("--file=", "", args[grep("--file=", args)])))
out <- file.path(here, "..", "data", "methods")
data_dir <- file.path(here, "..", "..", "examples", "data")
dir.create(out, showWarnings = FALSE, recursive = TRUE)

indicators <- function(v) {
  lev <- sort(unique(v))
  m <- sapply(lev, function(l) as.numeric(v == l))
  if (is.null(dim(m))) m <- matrix(m, ncol = 1)
  m
}

# A case: a data frame, the response, its effects (name in R's formula, design columns, the
# effects it contains) and optional fold and role tags.
make_case <- function(name, data, response, effects, fold = NULL, role = NULL) {
  list(name = name, data = data, response = response, effects = effects,
       fold = if (is.null(fold)) rep(-999, nrow(data)) else fold,
       role = if (is.null(role)) rep(1, nrow(data)) else role)
}
eff <- function(term, cols, contains = character(0)) list(term = term, cols = as.matrix(cols),
                                                            contains = contains)

write_case <- function(cs) {
  n <- nrow(cs$data)
  cols <- list()
  for (e in seq_along(cs$effects)) {
    m <- cs$effects[[e]]$cols
    for (j in seq_len(ncol(m))) cols[[sprintf("e%d_%d", e - 1, j - 1)]] <- m[, j]
  }
  rows <- data.frame(y = cs$data[[cs$response]], w = 1, f = 1, fold = cs$fold, role = cs$role,
                     cols, check.names = FALSE)
  write.csv(rows, file.path(out, paste0(cs$name, "_rows.csv")), row.names = FALSE)
  terms <- sapply(cs$effects, function(x) x$term)
  pre <- sapply(cs$effects, function(x) paste(match(x$contains, terms) - 1, collapse = ";"))
  write.csv(data.frame(effect = seq_along(terms) - 1, name = terms,
                       columns = sapply(cs$effects, function(x) ncol(x$cols)),
                       prerequisites = pre),
            file.path(out, paste0(cs$name, "_effects.csv")), row.names = FALSE)
}

terms_of <- function(cs) sapply(cs$effects, function(x) x$term)[-1]
index_of <- function(cs, term) {
  t <- sapply(cs$effects, function(x) x$term)
  i <- match(term, t)
  if (is.na(i)) {  # R writes a:b for b:a when its terms are ordered so
    parts <- strsplit(term, ":")[[1]]
    i <- match(paste(rev(parts), collapse = ":"), t)
  }
  stopifnot(!is.na(i))
  i - 1
}
train_data <- function(cs) cs$data[cs$role == 1, , drop = FALSE]
fit_of <- function(cs, terms) {
  rhs <- if (length(terms) == 0) "1" else paste(terms, collapse = " + ")
  lm(as.formula(paste(cs$response, "~", rhs)), data = train_data(cs))
}
upper_of <- function(cs) as.formula(paste("~", paste(terms_of(cs), collapse = " + ")))
model_terms <- function(fit) attr(terms(fit), "term.labels")
final_of <- function(cs, fit) {
  paste(sort(c(0, sapply(model_terms(fit), function(t) index_of(cs, t)))), collapse = ";")
}

# R's step(): the anova component lists the moves in order.
step_path <- function(cs, direction, k) {
  start <- if (direction == "backward") fit_of(cs, terms_of(cs)) else fit_of(cs, character(0))
  fit <- step(start, scope = list(lower = ~1, upper = upper_of(cs)), direction = direction,
              k = k, trace = 0, steps = 1000)
  moves <- as.character(fit$anova$Step)[-1]
  path <- sapply(moves, function(m) {
    sign <- substr(m, 1, 1)
    paste0(sign, index_of(cs, trimws(substring(m, 2))))
  })
  list(path = paste(path, collapse = " "), final = final_of(cs, fit))
}

crit_of <- function(fit, k) extractAIC(fit, k = k)[2]
fuzz <- 1.110223024625157e-13

# The default STEPWISE: each pass enters the best term when it improves the criterion, then
# drops terms while that improves it; a term dropped and found again ends the run.
stepwise_default <- function(cs, k) {
  fit <- fit_of(cs, character(0))
  path <- character(0)
  last_removed <- ""
  repeat {
    changed <- FALSE
    a <- add1(fit, scope = upper_of(cs), k = k)
    a <- a[rownames(a) != "<none>", , drop = FALSE]
    if (nrow(a) == 0) break
    best <- rownames(a)[which.min(a$AIC)]
    if (best == last_removed) break
    if (min(a$AIC) < crit_of(fit, k) - fuzz) {
      fit <- update(fit, as.formula(paste(". ~ . +", best)))
      path <- c(path, paste0("+", index_of(cs, best)))
      last_removed <- ""
      changed <- TRUE
    }
    repeat {
      if (length(model_terms(fit)) < 1) break
      d <- drop1(fit, k = k)
      d <- d[rownames(d) != "<none>", , drop = FALSE]
      worst <- rownames(d)[which.min(d$AIC)]
      if (!(min(d$AIC) < crit_of(fit, k) - fuzz)) break
      fit <- update(fit, as.formula(paste(". ~ . -", worst)))
      path <- c(path, paste0("-", index_of(cs, worst)))
      last_removed <- worst
      changed <- TRUE
    }
    if (!changed) break
  }
  list(path = paste(path, collapse = " "), final = final_of(cs, fit))
}

# SELECT=SL: F tests of add1 and drop1 against SLENTRY and SLSTAY; STEPWISE enters first and
# then removes while a term's p-value is above SLSTAY, and a term removed and found again ends.
sl_path <- function(cs, method, sle, sls) {
  fit <- if (method == "backward") fit_of(cs, terms_of(cs)) else fit_of(cs, character(0))
  path <- character(0)
  enter_best <- function() {
    a <- add1(fit, scope = upper_of(cs), test = "F")
    a <- a[rownames(a) != "<none>", , drop = FALSE]
    if (nrow(a) == 0) return(NULL)
    list(term = rownames(a)[which.min(a[["Pr(>F)"]])], p = min(a[["Pr(>F)"]]))
  }
  remove_worst <- function() {
    if (length(model_terms(fit)) < 1) return(NULL)
    d <- drop1(fit, test = "F")
    d <- d[rownames(d) != "<none>", , drop = FALSE]
    list(term = rownames(d)[which.max(d[["Pr(>F)"]])], p = max(d[["Pr(>F)"]]))
  }
  add <- function(t) {
    fit <<- update(fit, as.formula(paste(". ~ . +", t)))
    path <<- c(path, paste0("+", index_of(cs, t)))
  }
  drop <- function(t) {
    fit <<- update(fit, as.formula(paste(". ~ . -", t)))
    path <<- c(path, paste0("-", index_of(cs, t)))
  }
  if (method == "forward") {
    repeat {
      e <- enter_best()
      if (is.null(e) || !(e$p < sle)) break
      add(e$term)
    }
  } else if (method == "backward") {
    repeat {
      r <- remove_worst()
      if (is.null(r) || !(r$p > sls)) break
      drop(r$term)
    }
  } else {
    last_removed <- ""
    repeat {
      changed <- FALSE
      e <- enter_best()
      if (is.null(e) || e$term == last_removed) break
      if (e$p < sle) {
        add(e$term)
        last_removed <- ""
        changed <- TRUE
      }
      repeat {
        r <- remove_worst()
        if (is.null(r) || !(r$p > sls)) break
        drop(r$term)
        last_removed <- r$term
        changed <- TRUE
      }
      if (!changed) break
    }
  }
  list(path = paste(path, collapse = " "), final = final_of(cs, fit))
}

# leaps: the order in which forward selection adds the columns (the intercept forced); a
# two-level CLASS effect is its first indicator, which spans the same model.
leaps_order <- function(cs) {
  X <- do.call(cbind, lapply(cs$effects[-1], function(x) x$cols[, 1]))
  y <- cs$data[[cs$response]]
  fit <- regsubsets(X, y, method = "forward", nvmax = ncol(X), intercept = TRUE)
  w <- summary(fit)$which[, -1, drop = FALSE]
  order <- integer(0)
  for (i in seq_len(nrow(w))) order <- c(order, setdiff(which(w[i, ]), order))
  list(path = paste(paste0("+", order), collapse = " "), final = "")
}

# A FORWARD (or BACKWARD) path by SBC with no stop: the models of every step.
sbc_models <- function(cs, backward) {
  k <- log(sum(cs$role == 1))
  current <- if (backward) terms_of(cs) else character(0)
  models <- list(current)
  repeat {
    fit <- fit_of(cs, current)
    if (backward) {
      if (length(current) == 0) break
      d <- drop1(fit, k = k)
      d <- d[rownames(d) != "<none>", , drop = FALSE]
      current <- setdiff(current, rownames(d)[which.min(d$AIC)])
    } else {
      rest <- setdiff(terms_of(cs), current)
      if (length(rest) == 0) break
      a <- add1(fit, scope = upper_of(cs), k = k)
      a <- a[rownames(a) != "<none>", , drop = FALSE]
      current <- c(current, rownames(a)[which.min(a$AIC)])
    }
    models[[length(models) + 1]] <- current
  }
  models
}

# Criteria of every model of a path, and the step each criterion picks: the first best one
# along a FORWARD path, the last one within the tolerance along a BACKWARD path.
choose_rows <- function(cs, backward) {
  models <- sbc_models(cs, backward)
  train <- cs$role == 1
  d <- cs$data
  n <- sum(train)
  full <- fit_of(cs, terms_of(cs))
  sigma2 <- sum(residuals(full)^2) / (n - full$rank)
  sst <- sum((d[[cs$response]][train] - mean(d[[cs$response]][train]))^2)
  vals <- NULL
  for (mi in seq_along(models)) {
    fit <- fit_of(cs, models[[mi]])
    rss <- sum(residuals(fit)^2)
    p <- fit$rank
    h <- hatvalues(fit)
    q <- n * sigma2 / rss
    cv <- NA
    if (any(cs$fold >= 0)) {
      cv <- 0
      for (f in sort(unique(cs$fold))) {
        rest <- train & cs$fold != f
        inside <- train & cs$fold == f
        sub <- cs
        sub$role <- ifelse(rest, 1, 0)
        fk <- fit_of(sub, models[[mi]])
        cv <- cv + sum((d[[cs$response]][inside] - predict(fk, d[inside, , drop = FALSE]))^2)
      }
    }
    valid <- NA
    if (any(cs$role == 2)) {
      v <- cs$role == 2
      valid <- mean((d[[cs$response]][v] - predict(fit, d[v, , drop = FALSE]))^2)
    }
    vals <- rbind(vals, data.frame(
      aic = extractAIC(fit)[2] + n + 2,
      aicc = n * (log(rss / n) + 1 + 2 * (p + 1) / (n - 2 - p)),
      sbc = extractAIC(fit, k = log(n))[2],
      cp = rss / sigma2 - n + 2 * p,
      bic = n * log(rss / n) + 2 * q * (p + 2 - q),
      adjrsq = 1 - (n - 1) * rss / ((n - p) * sst),
      rsquare = 1 - rss / sst,
      press = sum((residuals(fit) / (1 - h))^2),
      cv = cv, validate = valid))
  }
  rows <- NULL
  for (crit in names(vals)) {
    v <- vals[[crit]]
    if (all(is.na(v))) next
    sgn <- if (crit %in% c("adjrsq", "rsquare")) -1 else 1
    x <- sgn * v
    best <- if (backward) max(which(x <= min(x) + 1e-8 * abs(min(x)))) else which.min(x)
    rows <- rbind(rows, data.frame(case = cs$name, method = if (backward) "backward" else
                                     "forward", criterion = crit, step = best - 1,
                                   value = v[best],
                                   path = paste(sapply(models[[length(models)]], function(t)
                                     index_of(cs, t)), collapse = " ")))
  }
  rows
}

# ---- The cases ----
data(swiss)
sw <- swiss
swiss_case <- make_case("swiss", sw, "Fertility", list(
  eff("(Intercept)", rep(1, nrow(sw))), eff("Agriculture", sw$Agriculture),
  eff("Examination", sw$Examination), eff("Education", sw$Education),
  eff("Catholic", sw$Catholic), eff("Infant.Mortality", sw$Infant.Mortality)))

mt <- read.csv(file.path(data_dir, "mtcars.csv"))
mt$cylF <- factor(mt$cyl)
mt$gearF <- factor(mt$gear)
mt$carbF <- factor(mt$carb)
mtcars_case <- make_case("mtcars", mt, "mpg", list(
  eff("(Intercept)", rep(1, nrow(mt))), eff("cylF", indicators(mt$cyl)), eff("disp", mt$disp),
  eff("hp", mt$hp), eff("drat", mt$drat), eff("wt", mt$wt), eff("qsec", mt$qsec),
  eff("vs", mt$vs), eff("am", mt$am), eff("gearF", indicators(mt$gear)),
  eff("carbF", indicators(mt$carb))))

# Interactions: step() keeps marginality, as HIERARCHY=SINGLE does.
cyl_ind <- indicators(mt$cyl)
mtint_case <- make_case("mtcars_int", mt, "mpg", list(
  eff("(Intercept)", rep(1, nrow(mt))), eff("cylF", cyl_ind), eff("wt", mt$wt),
  eff("hp", mt$hp), eff("am", mt$am), eff("qsec", mt$qsec),
  eff("wt:hp", mt$wt * mt$hp, c("wt", "hp")), eff("cylF:wt", cyl_ind * mt$wt, c("cylF", "wt")),
  eff("am:qsec", mt$am * mt$qsec, c("am", "qsec"))))

bo <- Boston
bo_vars <- setdiff(names(bo), "medv")
boston_case <- make_case("boston", bo, "medv", c(list(eff("(Intercept)", rep(1, nrow(bo)))),
                                                   lapply(bo_vars, function(v) eff(v, bo[[v]]))))

db <- read.csv(file.path(data_dir, "diabetes.csv"))
db$sexF <- factor(db$sex)
k <- seq_len(nrow(db))
db_effects <- c(list(eff("(Intercept)", rep(1, nrow(db))), eff("sexF", indicators(db$sex))),
                lapply(c("age", "bmi", "bp", "s1", "s2", "s3", "s4", "s5", "s6"),
                       function(v) eff(v, db[[v]])))
diabetes_case <- make_case("diabetes", db, "y", db_effects, fold = (k - 1) %% 5)
diabetes_part <- make_case("diabetes_part", db, "y", db_effects,
                           role = ifelse(k %% 7 == 0, 2, ifelse(k %% 7 == 3, 4, 1)))

cases <- list(swiss_case, mtcars_case, mtint_case, boston_case, diabetes_case, diabetes_part)
for (cs in cases) write_case(cs)

paths <- NULL
add_path <- function(cs, method, select, drop, hierarchy, sle, sls, reference, p) {
  paths <<- rbind(paths, data.frame(case = cs$name, method = method, select = select,
                                    drop = drop, hierarchy = hierarchy, slentry = sle,
                                    slstay = sls, reference = reference, path = p$path,
                                    final = p$final))
}
for (cs in list(swiss_case, mtcars_case, mtint_case, boston_case, diabetes_case)) {
  n <- nrow(cs$data)
  hier <- if (cs$name == "mtcars_int") "single" else "none"
  for (sel in c("sbc", "aic")) {
    k <- if (sel == "sbc") log(n) else 2
    add_path(cs, "forward", sel, "", hier, NA, NA, "step", step_path(cs, "forward", k))
    add_path(cs, "backward", sel, "", hier, NA, NA, "step", step_path(cs, "backward", k))
    add_path(cs, "stepwise", sel, "competitive", hier, NA, NA, "step", step_path(cs, "both", k))
    add_path(cs, "stepwise", sel, "", hier, NA, NA, "add1/drop1", stepwise_default(cs, k))
  }
  add_path(cs, "forward", "sl", "", hier, 0.15, NA, "add1 F", sl_path(cs, "forward", 0.15, NA))
  add_path(cs, "backward", "sl", "", hier, NA, 0.1, "drop1 F", sl_path(cs, "backward", NA, 0.1))
  add_path(cs, "stepwise", "sl", "", hier, 0.15, 0.15, "add1/drop1 F",
           sl_path(cs, "stepwise", 0.15, 0.15))
  if (all(sapply(cs$effects, function(x) ncol(x$cols)) <= 2) && cs$name != "mtcars_int")
    add_path(cs, "forward", "leaps", "", "none", NA, NA, "regsubsets", leaps_order(cs))
}
write.csv(paths, file.path(out, "paths.csv"), row.names = FALSE, na = "")

chosen <- rbind(choose_rows(diabetes_case, FALSE), choose_rows(diabetes_part, FALSE),
                choose_rows(swiss_case, FALSE), choose_rows(swiss_case, TRUE),
                choose_rows(boston_case, TRUE))
write.csv(chosen, file.path(out, "choose.csv"), row.names = FALSE, na = "")

# Adaptive weights: |b|^gamma of the least-squares fit without the intercept (NA: aliased).
adaptive <- NULL
for (cs in list(swiss_case, mtcars_case)) {
  X <- do.call(cbind, lapply(cs$effects[-1], function(x) x$cols))
  b <- coef(lm(cs$data[[cs$response]] ~ 0 + X))
  for (gamma in c(1, 0.5))
    adaptive <- rbind(adaptive, data.frame(case = cs$name, gamma = gamma,
                                           column = seq_along(b), weight = abs(b)^gamma))
}
write.csv(adaptive, file.path(out, "adaptive.csv"), row.names = FALSE, na = "")

# SELECT by a data-based criterion (every candidate fitted on trial): PRESS, CV PRESS and the
# validation ASE, STOP the same criterion. FORWARD enters the best candidate while it lowers
# the criterion; BACKWARD removes while the best removal does not raise it.
data_value <- function(cs, terms, crit) {
  fit <- fit_of(cs, terms)
  d <- cs$data
  if (crit == "press") return(sum((residuals(fit) / (1 - hatvalues(fit)))^2))
  if (crit == "validate") {
    v <- cs$role == 2
    return(mean((d[[cs$response]][v] - predict(fit, d[v, , drop = FALSE]))^2))
  }
  cv <- 0
  for (f in sort(unique(cs$fold))) {
    sub <- cs
    sub$role <- ifelse(cs$fold != f, 1, 0)
    inside <- cs$fold == f
    fk <- fit_of(sub, terms)
    cv <- cv + sum((d[[cs$response]][inside] - predict(fk, d[inside, , drop = FALSE]))^2)
  }
  cv
}
data_path <- function(cs, crit, backward) {
  current <- if (backward) terms_of(cs) else character(0)
  value <- data_value(cs, current, crit)
  path <- character(0)
  repeat {
    moves <- if (backward) current else setdiff(terms_of(cs), current)
    if (length(moves) == 0) break
    vals <- sapply(moves, function(t) data_value(cs, if (backward) setdiff(current, t) else
                                                   c(current, t), crit))
    best <- which.min(vals)
    ok <- if (backward) vals[best] <= value + 1e-8 * abs(value) else
      vals[best] < value - 1e-8 * abs(value)
    if (!ok) break
    current <- if (backward) setdiff(current, moves[best]) else c(current, moves[best])
    value <- vals[best]
    path <- c(path, paste0(if (backward) "-" else "+", index_of(cs, moves[best])))
  }
  list(path = paste(path, collapse = " "), final = final_of(cs, fit_of(cs, current)))
}
data_paths <- NULL
for (spec in list(list(diabetes_case, "press", FALSE), list(diabetes_case, "press", TRUE),
                  list(diabetes_case, "cv", FALSE), list(diabetes_part, "validate", FALSE),
                  list(swiss_case, "press", FALSE), list(swiss_case, "press", TRUE))) {
  cs <- spec[[1]]
  p <- data_path(cs, spec[[2]], spec[[3]])
  data_paths <- rbind(data_paths, data.frame(case = cs$name, method = if (spec[[3]])
    "backward" else "forward", select = spec[[2]], path = p$path, final = p$final))
}
write.csv(data_paths, file.path(out, "data_paths.csv"), row.names = FALSE)
