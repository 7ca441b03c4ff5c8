#!/usr/bin/Rscript
# Regenerate: Rscript tests/reference/criteria_formulas.R
# Writes tests/data/e2e/criteria_formulas.csv: the models of a forward selection on mtcars
# (mpg on wt, hp, am, qsec, entered in that order, the full model of all four last) with what
# R says of each, for the test that the criteria follow their documented formulas:
#   step, n, p (parameters, the intercept counted), sse,
#   extract_aic          extractAIC(fit): n log(SSE/n) + 2p; the AIC is this plus n + 2
#   extract_aic_log_n    extractAIC(fit, k = log(n)): the SBC
#   extract_aic_scale    extractAIC(fit, scale = sigma2): Mallows' C(p), sigma2 the full
#                        model's mean square error
#   r_aic, r_bic         AIC(fit) and BIC(fit): the log-likelihood forms
#   sigma2               the full model's mean square error (Sawa's BIC uses it)
args <- commandArgs(trailingOnly = FALSE)
here <- dirname(normalizePath(sub("--file=", "", args[grep("--file=", args)])))
d <- read.csv(file.path(here, "..", "..", "examples", "data", "mtcars.csv"))
n <- nrow(d)
forms <- list(mpg ~ 1, mpg ~ wt, mpg ~ wt + hp, mpg ~ wt + hp + am, mpg ~ wt + hp + am + qsec)
sigma2 <- summary(lm(forms[[length(forms)]], d))$sigma^2
rows <- lapply(seq_along(forms), function(i) {
  fit <- lm(forms[[i]], d)
  data.frame(step = i - 1, n = n, p = length(coef(fit)), sse = sum(resid(fit)^2),
             extract_aic = extractAIC(fit)[2], extract_aic_log_n = extractAIC(fit, k = log(n))[2],
             extract_aic_scale = extractAIC(fit, scale = sigma2)[2], r_aic = AIC(fit),
             r_bic = BIC(fit), sigma2 = sigma2)
})
write.csv(do.call(rbind, rows), file.path(here, "..", "data", "e2e", "criteria_formulas.csv"),
          row.names = FALSE)
