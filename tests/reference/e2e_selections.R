#!/usr/bin/Rscript
# Regenerate: Rscript tests/reference/e2e_selections.R
# Writes the reference tables of the end-to-end selection tests into tests/data/e2e/: for each
# case a selection by R's step() (forward, backward or both ways) with the criterion of the case
# (AIC: k = 2, SBC: k = log(n)), then lm's tables of the model it ends with.
#   selection_steps.csv   case, step, entered, removed, criterion value of the step's model
#   selection_anova.csv   case, source, df, ss, ms, f, p
#   selection_fit.csv     case, statistic, value
#   selection_parms.csv   case, effect, level, df, estimate, stderr, t, p
#   selection_step_parms.csv  case, step, effect, level, estimate, stderr: each step's model
#   mtcars_by_am.csv      mtcars sorted by am, the data of the BY-group cases
#   selection_cv_press.csv      case, step, fold (0 the total), CV PRESS
#   selection_cv_estimates.csv  case, fold, effect, level, estimate: the chosen model's folds
# The procedure's criteria: AIC = n log(SSE/n) + 2p + n + 2 and SBC = n log(SSE/n) + p log(n),
# p the model's rank; step()'s extractAIC differs from the AIC by n + 2 and equals the SBC, so
# both choose the same moves. CLASS variables are factors whose last level is the reference,
# as the procedure's less-than-full-rank coding leaves the last level aliased.
args <- commandArgs(trailingOnly = FALSE)
here <- dirname(normalizePath(sub("--file=", "", args[grep("--file=", args)])))
out <- file.path(here, "..", "data", "e2e")
data_dir <- file.path(here, "..", "..", "examples", "data")
dir.create(out, showWarnings = FALSE, recursive = TRUE)

as_class <- function(v) {
  f <- factor(v, levels = sort(unique(v)))
  contrasts(f) <- contr.treatment(nlevels(f), base = nlevels(f))
  f
}

criteria <- function(fit, n) {
  sse <- sum(residuals(fit)^2)
  p <- fit$rank
  c(aic = n * log(sse / n) + 2 * p + n + 2, sbc = n * log(sse / n) + p * log(n))
}

# One call of add(effect, level, df, c(estimate, stderr, t, p)) per parameter of the fit: the
# intercept, then each CLASS level (the last one aliased: DF 0, estimate 0) and each
# continuous effect.
parms_of <- function(name, fit, data, add) {
  table <- coef(summary(fit))
  one <- function(effect, level, key) {
    if (!is.null(key) && key %in% rownames(table)) add(effect, level, 1, table[key, ])
    else add(effect, level, 0, c(0, NA, NA, NA))
  }
  if ("(Intercept)" %in% rownames(table)) one("Intercept", "", "(Intercept)")
  for (e in attr(terms(fit), "term.labels")) {
    if (is.factor(data[[e]])) {
      lev <- levels(data[[e]])
      for (j in seq_along(lev)) one(e, lev[j], if (j < length(lev)) paste0(e, j) else NULL)
    } else {
      one(e, "", e)
    }
  }
}

step_parm_rows <- NULL
steps_rows <- NULL
anova_rows <- NULL
fit_rows <- NULL
parm_rows <- NULL

# test: rows held out for testing (PARTITION ROLE=); the selection sees the others.
# split: CLASS variables whose levels are candidates of their own (CLASS SPLIT): a 0/1 column
# per level, named variable_level, takes the variable's place among the effects.
# start: the selection begins from the model of the first `start` effects (START=), step 0.
run_case <- function(name, data, response, classes, effects, direction, criterion,
                     test = NULL, split = character(0), start = 0) {
  for (v in split) {
    lev <- sort(unique(data[[v]]))
    cols <- paste0(v, "_", lev)
    for (j in seq_along(lev)) data[[cols[j]]] <- as.numeric(data[[v]] == lev[j])
    at <- match(v, effects)
    effects <- append(effects[-at], cols, after = at - 1)
  }
  for (v in classes) data[[v]] <- as_class(data[[v]])
  held <- NULL
  if (!is.null(test)) {
    held <- data[test, ]
    data <- data[!test, ]
  }
  n <- nrow(data)
  k <- if (criterion == "sbc") log(n) else 2
  full <- reformulate(effects, response)
  null <- reformulate("1", response)
  first <- if (start > 0) reformulate(effects[seq_len(start)], response) else null
  start <- if (direction == "backward") lm(full, data = data) else lm(first, data = data)
  scope <- list(lower = null, upper = full)
  fit <- step(start, scope = scope, direction = direction, k = k, trace = 0)

  # The path: step()'s own record of its moves, each model refitted for its criterion value.
  moves <- as.character(fit$anova$Step)
  model <- formula(start)
  for (i in seq_along(moves)) {
    move <- trimws(moves[i])
    entered <- removed <- ""
    if (startsWith(move, "+")) {
      entered <- trimws(substring(move, 2))
      model <- update(model, as.formula(paste(". ~ . +", entered)))
    } else if (startsWith(move, "-")) {
      removed <- trimws(substring(move, 2))
      model <- update(model, as.formula(paste(". ~ . -", removed)))
    }
    step_fit <- lm(model, data = data)
    value <- criteria(step_fit, n)[[criterion]]
    parms_of(name, step_fit, data, function(effect, level, df, row) {
      step_parm_rows <<- rbind(step_parm_rows, data.frame(
        case = name, step = i - 1, effect = effect, level = level, estimate = row[1],
        stderr = row[2]))
    })
    steps_rows <<- rbind(steps_rows, data.frame(case = name, step = i - 1, entered = entered,
                                                removed = removed, value = value))
  }

  sse <- sum(residuals(fit)^2)
  p <- fit$rank
  tss <- sum((data[[response]] - mean(data[[response]]))^2)
  dfm <- p - 1
  dfe <- n - p
  fval <- ((tss - sse) / dfm) / (sse / dfe)
  anova_rows <<- rbind(anova_rows, data.frame(
    case = name, source = c("Model", "Error", "Corrected Total"), df = c(dfm, dfe, n - 1),
    ss = c(tss - sse, sse, tss), ms = c((tss - sse) / dfm, sse / dfe, NA),
    f = c(fval, NA, NA), p = c(pf(fval, dfm, dfe, lower.tail = FALSE), NA, NA)))

  s <- summary(fit)
  cr <- criteria(fit, n)
  fit_rows <<- rbind(fit_rows, data.frame(
    case = name,
    statistic = c("Root MSE", "Dependent Mean", "R-Square", "Adj R-Sq", "AIC", "AICC", "SBC"),
    value = c(s$sigma, mean(data[[response]]), s$r.squared, s$adj.r.squared, cr[["aic"]],
              n * (log(sse / n) + 1 + 2 * (p + 1) / (n - 2 - p)), cr[["sbc"]])))
  if (!is.null(held)) {
    test_ase <- mean((held[[response]] - predict(fit, held))^2)
    fit_rows <<- rbind(fit_rows, data.frame(case = name, statistic = c("ASE (Train)", "ASE (Test)"),
                                            value = c(sse / n, test_ase)))
  }

  parms_of(name, fit, data, function(effect, level, df, row) {
    parm_rows <<- rbind(parm_rows, data.frame(
      case = name, effect = effect, level = level, df = df, estimate = row[1],
      stderr = row[2], t = row[3], p = row[4]))
  })
}

mtcars <- read.csv(file.path(data_dir, "mtcars.csv"))
cars <- c("cyl", "gear", "am", "disp", "hp", "drat", "wt", "qsec")
run_case("mtcars_forward_aic", mtcars, "mpg", c("cyl", "gear", "am"), cars, "forward", "aic")
run_case("mtcars_backward_sbc", mtcars, "mpg", c("cyl", "gear", "am"), cars, "backward", "sbc")
# hp enters, then leaves once qsec is in.
run_case("mtcars_stepwise_aic", mtcars, "mpg", c("vs", "am"),
         c("disp", "hp", "drat", "wt", "qsec", "vs", "am"), "both", "aic")

# step() both ways weighs every entry against every removal, as DROP=COMPETITIVE does: disp,
# hp and am enter, then disp leaves, though no effect is left to enter.
run_case("mtcars_competitive_sbc", mtcars, "mpg", "am", c("disp", "hp", "am"), "both", "sbc")
# START=3: from the model of disp, hp and drat, wt enters, then disp and drat leave.
run_case("mtcars_start_sbc", mtcars, "mpg", character(0), c("disp", "hp", "drat", "wt", "qsec"),
         "both", "sbc", start = 3)

# Each number of cylinders a candidate of its own.
run_case("mtcars_split_sbc", mtcars, "mpg", character(0), c("cyl", "disp", "hp", "wt"),
         "forward", "sbc", split = "cyl")

# The cars with vs = 1 are test rows: the selection and its fit use the other 18.
run_case("mtcars_roles_sbc", mtcars, "mpg", character(0),
         c("disp", "hp", "drat", "wt", "qsec"), "forward", "sbc", test = mtcars$vs == 1)

# BY groups: mtcars sorted by am (written beside the fixtures), each group selected on its own.
by_am <- mtcars[order(mtcars$am, seq_len(nrow(mtcars))), ]
write.csv(by_am, file.path(out, "mtcars_by_am.csv"), row.names = FALSE, quote = TRUE)
for (a in c(0, 1))
  run_case(paste0("mtcars_by_am", a), by_am[by_am$am == a, ], "mpg", character(0),
           c("disp", "hp", "drat", "wt", "qsec"), "forward", "aic")

diabetes <- read.csv(file.path(data_dir, "diabetes.csv"))
dia <- c("age", "sex", "bmi", "bp", paste0("s", 1:6))
run_case("diabetes_forward_sbc", diabetes, "y", "sex", dia, "forward", "sbc")
run_case("diabetes_backward_aic", diabetes, "y", "sex", dia, "backward", "aic")
run_case("diabetes_stepwise_sbc", diabetes, "y", "sex", dia, "both", "sbc")
# FORWARD with START=2: from the model of age and sex.
run_case("diabetes_start_forward_aic", diabetes, "y", "sex", dia, "forward", "aic", start = 2)

# k-fold cross validation with CVMETHOD=SPLIT(k): training row i (from 0) is in fold i mod k.
# The path enters every effect (STOP=NONE): step() with k = 0 goes on while the residual sum
# of squares falls, in the order SBC gives when every candidate has one degree of freedom. Each
# step's CV PRESS sums, over the folds, the squared errors of the fold's rows under the model
# fitted without them; CHOOSE=CV takes the first step of least CV PRESS, whose per-fold
# estimates and fold PRESS are written too.
cv_press_rows <- NULL
cv_estimate_rows <- NULL
run_cv_case <- function(name, data, response, classes, effects, k) {
  for (v in classes) data[[v]] <- as_class(data[[v]])
  n <- nrow(data)
  fold <- (seq_len(n) - 1) %% k
  fit <- step(lm(reformulate("1", response), data = data),
              scope = list(lower = reformulate("1", response),
                           upper = reformulate(effects, response)),
              direction = "forward", k = 0, trace = 0)
  model <- reformulate("1", response)
  models <- list(model)
  for (move in trimws(as.character(fit$anova$Step))[-1]) {
    model <- update(model, as.formula(paste(". ~ . +", trimws(substring(move, 2)))))
    models[[length(models) + 1]] <- model
  }
  totals <- numeric(0)
  for (i in seq_along(models)) {
    per_fold <- sapply(0:(k - 1), function(f) {
      out_fit <- lm(models[[i]], data = data[fold != f, ])
      held <- data[fold == f, ]
      sum((held[[response]] - suppressWarnings(predict(out_fit, held)))^2)  # the contrasts stay
    })
    totals[i] <- sum(per_fold)
    cv_press_rows <<- rbind(cv_press_rows, data.frame(
      case = name, step = i - 1, fold = 0:k, press = c(sum(per_fold), per_fold)))
  }
  chosen <- which.min(totals)
  for (f in 0:(k - 1)) {
    parms_of(name, lm(models[[chosen]], data = data[fold != f, ]), data,
             function(effect, level, df, row) {
               cv_estimate_rows <<- rbind(cv_estimate_rows, data.frame(
                 case = name, fold = f + 1, effect = effect, level = level, estimate = row[1]))
             })
  }
}
run_cv_case("diabetes_cv_split", diabetes, "y", "sex", dia, 5)

write_csv <- function(frame, file) {
  write.csv(frame, file.path(out, file), row.names = FALSE, na = "NA")
}
write_csv(steps_rows, "selection_steps.csv")
write_csv(anova_rows, "selection_anova.csv")
write_csv(fit_rows, "selection_fit.csv")
write_csv(parm_rows, "selection_parms.csv")
write_csv(step_parm_rows, "selection_step_parms.csv")
write_csv(cv_press_rows, "selection_cv_press.csv")
write_csv(cv_estimate_rows, "selection_cv_estimates.csv")
