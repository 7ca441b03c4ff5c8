#!/usr/bin/Rscript
# Regenerate: Rscript tests/reference/outputs_fixtures.R
# Writes the references of the output data sets into tests/data/averaging/:
#   boston.csv              MASS's Boston data (the data of the Boston cases); the BY cases
#                           read tests/data/e2e/mtcars_by_am.csv
#   outputs_predictions.csv case, row, predicted, residual: R's predict() and residuals of the
#                           model each case selects (lm on SELECTION=NONE's effects; step()
#                           forward or both ways with k = log(n) for FORWARD and STEPWISE by SBC)
#   outputs_design.csv      case, row, column, value: model.matrix() of the case's effects
#                           under its CLASS coding, the columns in the procedure's order
# CLASS variables are factors of their sorted levels. GLM coding keeps every level's column
# (contrasts = FALSE), REF codes the last level as the reference (contr.treatment with base
# last), EFFECT codes the last level as -1 (contr.sum); the selected models use treatment
# coding with the last level as base, as the procedure's less-than-full-rank fit leaves the
# last level aliased.
suppressMessages(library(MASS))
args <- commandArgs(trailingOnly = FALSE)
here <- dirname(normalizePath(sub("--file=", "", args[grep("--file=", args)])))
out <- file.path(here, "..", "data", "averaging")
data_dir <- file.path(here, "..", "..", "examples", "data")
dir.create(out, showWarnings = FALSE, recursive = TRUE)

write.csv(Boston, file.path(out, "boston.csv"), row.names = FALSE)
mtcars_data <- read.csv(file.path(data_dir, "mtcars.csv"))
diabetes <- read.csv(file.path(data_dir, "diabetes.csv"))
boston <- read.csv(file.path(out, "boston.csv"))

as_class <- function(v, coding = "last") {
  f <- factor(v, levels = sort(unique(v)))
  contrasts(f) <- switch(coding,
    last = contr.treatment(nlevels(f), base = nlevels(f)),
    effect = contr.sum(nlevels(f)),
    glm = contrasts(f, contrasts = FALSE))
  f
}

pred_rows <- data.frame()
design_rows <- data.frame()

add_predictions <- function(name, fit, data) {
  p <- predict(fit, newdata = data)
  pred_rows <<- rbind(pred_rows, data.frame(case = name, row = seq_along(p), predicted = p,
                                            residual = data[[all.vars(formula(fit))[1]]] - p))
}

prepare <- function(data, classes, coding = "last") {
  for (v in classes) data[[v]] <- as_class(data[[v]], coding)
  data
}

# A selection by step() from the intercept-only model over the effects, by SBC.
selected <- function(data, response, effects, direction) {
  start <- lm(reformulate("1", response), data = data)
  scope <- list(lower = ~1, upper = reformulate(effects))
  step(start, scope = scope, direction = direction, k = log(nrow(data)), trace = 0)
}

# ---- Predictions ----
cars <- prepare(mtcars_data, c("cyl", "gear"))
add_predictions("mtcars_none", lm(mpg ~ cyl + gear + wt + hp, data = cars), cars)

dia <- prepare(diabetes, "sex")
dia_effects <- c("age", "sex", "bmi", "bp", paste0("s", 1:6))
add_predictions("diabetes_forward", selected(dia, "y", dia_effects, "forward"), dia)
add_predictions("diabetes_stepwise", selected(dia, "y", dia_effects, "both"), dia)

bos <- prepare(boston, "chas")
bos_effects <- setdiff(names(boston), "medv")
add_predictions("boston_stepwise", selected(bos, "medv", bos_effects, "both"), bos)

# BY am: each group's own forward selection, rows in data order.
by_am <- read.csv(file.path(here, "..", "data", "e2e", "mtcars_by_am.csv"))
for (a in sort(unique(by_am$am))) {
  g <- by_am[by_am$am == a, ]
  fit <- selected(g, "mpg", c("wt", "hp", "qsec", "disp"), "forward")
  add_predictions(paste0("mtcars_by_am", a), fit, g)
}

# ---- Design matrices ----
# The coding's contrast matrix of each CLASS variable, given to model.matrix() explicitly.
coding_matrix <- function(f, coding) {
  n <- nlevels(f)
  m <- switch(coding, glm = diag(n), last = contr.treatment(n, base = n),
              effect = contr.sum(n))
  rownames(m) <- levels(f)
  m
}
add_design <- function(name, data, formula, classes, coding) {
  for (v in classes) data[[v]] <- factor(data[[v]], levels = sort(unique(data[[v]])))
  ca <- lapply(setNames(classes, classes), function(v) coding_matrix(data[[v]], coding))
  m <- model.matrix(formula, data = data, contrasts.arg = ca)
  for (j in seq_len(ncol(m)))
    design_rows <<- rbind(design_rows, data.frame(case = name, row = seq_len(nrow(m)),
                                                  column = j, value = m[, j]))
}
for (coding in c("glm", "last", "effect"))
  add_design(paste0("mtcars_", coding), mtcars_data, ~ cyl + gear + wt + hp, c("cyl", "gear"),
             coding)
for (a in sort(unique(by_am$am)))
  add_design(paste0("mtcars_by_am", a), by_am[by_am$am == a, ], ~ cyl + wt, "cyl", "glm")

fmt <- function(df) {
  for (n in names(df)) if (is.double(df[[n]])) df[[n]] <- sprintf("%.17g", df[[n]])
  df
}
write.csv(fmt(pred_rows), file.path(out, "outputs_predictions.csv"), row.names = FALSE,
          quote = FALSE)
write.csv(fmt(design_rows), file.path(out, "outputs_design.csv"), row.names = FALSE,
          quote = FALSE)
