#!/usr/bin/Rscript
# Regenerate: Rscript tests/reference/graphs_fixtures.R
# Writes the reference of the end-to-end graph tests into tests/data/e2e/graphs_steps.csv: for
# each case a selection path on the diabetes data, given as its moves, and for every step's
# model (lm) the standardized estimate of each parameter of the effects the path moves, and the
# p-value of the F test of the step's change against the step before.
#   case, step, parameter, stdest   one row per step and parameter
#   case, step, "", pvalue          one row per step from 1 (parameter empty)
# A standardized estimate is the estimate times sd(column) / sd(y), 0 for a parameter the
# step's model leaves out or aliases. sex is a CLASS variable: its columns are the indicators of
# its levels ("sex 1", "sex 2"), the last one aliased as the procedure's coding leaves it.
args <- commandArgs(trailingOnly = FALSE)
here <- dirname(normalizePath(sub("--file=", "", args[grep("--file=", args)])))
out <- file.path(here, "..", "data", "e2e")
data <- read.csv(file.path(here, "..", "..", "examples", "data", "diabetes.csv"))
data$sex1 <- as.numeric(data$sex == 1)
data$sex2 <- as.numeric(data$sex == 2)

# The columns of each effect, and their names as the procedure labels them.
columns <- list(sex = c("sex1", "sex2"))
labels <- c(sex1 = "sex 1", sex2 = "sex 2")
cols_of <- function(e) if (is.null(columns[[e]])) e else columns[[e]]

rows <- NULL
run_case <- function(name, moves) {
  effects <- unique(sub("^[-+]", "", moves))
  params <- unlist(lapply(effects, cols_of))
  model <- character(0)
  previous <- NULL
  for (i in seq(0, length(moves))) {
    if (i > 0) {
      e <- sub("^[-+]", "", moves[i])
      model <- if (startsWith(moves[i], "-")) setdiff(model, e) else c(model, e)
    }
    x <- unlist(lapply(model, cols_of))
    fit <- lm(reformulate(if (length(x)) x else "1", "y"), data = data)
    b <- coef(fit)
    for (p in params) {
      est <- if (p %in% names(b) && !is.na(b[[p]])) b[[p]] * sd(data[[p]]) / sd(data$y) else 0
      shown <- if (p %in% names(labels)) labels[[p]] else p
      rows <<- rbind(rows, data.frame(case = name, step = i, parameter = shown, value = est))
    }
    if (!is.null(previous)) {
      p <- anova(previous, fit)[2, "Pr(>F)"]
      rows <<- rbind(rows, data.frame(case = name, step = i, parameter = "", value = p))
    }
    previous <- fit
  }
}

run_case("diabetes_forward_sbc", c("+bmi", "+s5", "+bp", "+s1", "+sex", "+s2"))
run_case("diabetes_stepwise_sl", c("+bmi", "+s5", "+bp", "+s1", "+sex", "+s2", "+s4", "-s4"))

write.csv(rows, file.path(out, "graphs_steps.csv"), row.names = FALSE)
