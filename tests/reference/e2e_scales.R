#!/usr/bin/Rscript
# Regenerate: Rscript tests/reference/e2e_scales.R
# Writes the references of the scale tests into tests/data/e2e/: R's step() on mtcars with the
# response mpg times 10^k (k = -12..12) and with wt times 10^k (k = -100..100 by 10), both
# ways from the intercept among cyl (a factor), disp, hp, drat, wt, qsec and am, by AIC (k = 2)
# and SBC (k = log(n)); then lm's estimates of the model SBC chose on the scaled wt.
#   scale_selection.csv  scaled (mpg or wt), k, criterion, effects (sorted, blank-separated)
#   scale_estimates.csv  k, parameter, estimate, stderr
args <- commandArgs(trailingOnly = FALSE)
here <- dirname(normalizePath(sub("--file=", "", args[grep("--file=", args)])))
out <- file.path(here, "..", "data", "e2e")
d <- read.csv(file.path(here, "..", "..", "examples", "data", "mtcars.csv"))
d$cyl <- factor(d$cyl)
scope <- ~ cyl + disp + hp + drat + wt + qsec + am

choose <- function(data, k) {
  fit <- step(lm(mpg ~ 1, data), scope = scope, direction = "both", k = k, trace = 0)
  list(fit = fit, effects = paste(sort(attr(terms(fit), "term.labels")), collapse = " "))
}

sel <- data.frame()
est <- data.frame()
sweep <- list(mpg = -12:12, wt = seq(-100, 100, by = 10))
for (v in names(sweep)) {
  for (k in sweep[[v]]) {
    s <- d
    s[[v]] <- d[[v]] * 10^k
    for (crit in c("aic", "sbc")) {
      r <- choose(s, if (crit == "aic") 2 else log(nrow(s)))
      sel <- rbind(sel, data.frame(scaled = v, k = k, criterion = crit, effects = r$effects))
      if (v == "wt" && crit == "sbc") {
        cf <- coef(summary(r$fit))
        est <- rbind(est, data.frame(k = k, parameter = rownames(cf), estimate = cf[, 1],
                                     stderr = cf[, 2]))
      }
    }
  }
}
est$parameter[est$parameter == "(Intercept)"] <- "Intercept"
write.csv(sel, file.path(out, "scale_selection.csv"), row.names = FALSE)
est$estimate <- sprintf("%.17g", est$estimate)
est$stderr <- sprintf("%.17g", est$stderr)
write.csv(est, file.path(out, "scale_estimates.csv"), row.names = FALSE)
