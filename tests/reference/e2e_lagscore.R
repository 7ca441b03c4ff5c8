#!/usr/bin/Rscript
# Regenerate: Rscript tests/reference/e2e_lagscore.R
# Data and reference predictions of the end-to-end tests of scoring with a LAG effect
# (tests/e2e/scoring_test.cpp), written into tests/data/e2e/:
#   lag_panel.csv        site, subj, per, L, x, y: two sites of eight subjects each observed
#                        in periods 1 to 6, some periods missing
#   lag_rotated.csv      the same rows with L moved on by one level (u -> v -> w -> u)
#   lag_predictions.csv  nlag, by, data, row, p: for model y = x lag(L / within=subj
#                        period=per nlag=...) fitted by lm() (per site with by = 1), the
#                        prediction of every row of lag_panel.csv (data = panel) and of
#                        lag_rotated.csv (data = rotated); NA where the lag is not available
# The lagged design is built by merging each row with its subject's row nlag periods earlier
# (periods numbered by their rank among the periods of the site, or of all data); rows within
# the first nlag periods have all lag columns 0.
args <- commandArgs(trailingOnly = FALSE)
here <- dirname(normalizePath(sub("^--file=", "", args[grep("^--file=", args)])))
out <- file.path(here, "..", "data", "e2e")

set.seed(27)
levels_L <- c("u", "v", "w")
rows <- list()
for (site in c("A", "B")) {
  for (subj in (if (site == "A") 1:8 else 9:16)) {
    periods <- sort(sample(1:6, sample(4:6, 1)))
    for (per in periods) {
      rows[[length(rows) + 1]] <- data.frame(site = site, subj = subj, per = per,
                                             L = sample(levels_L, 1), x = round(runif(1, 0, 10), 2))
    }
  }
}
panel <- do.call(rbind, rows)
effect <- c(u = -1, v = 0.5, w = 1.5)
panel$y <- numeric(nrow(panel))
for (i in seq_len(nrow(panel))) {
  prev <- panel$L[panel$site == panel$site[i] & panel$subj == panel$subj[i] &
                  panel$per == panel$per[i] - 1]
  panel$y[i] <- round(2 + 0.7 * panel$x[i] + (if (length(prev)) effect[[prev]] else 0) +
                      rnorm(1, 0, 0.4), 3)
}
rotated <- panel
rotated$L <- c(u = "v", v = "w", w = "u")[panel$L]
write.csv(panel, file.path(out, "lag_panel.csv"), row.names = FALSE, quote = FALSE)
write.csv(rotated, file.path(out, "lag_rotated.csv"), row.names = FALSE, quote = FALSE)

# The lag columns of data d (its periods ranked as in `periods`): one indicator per level of L,
# all 0 within the first nlag periods, NA when the subject has no row nlag periods back.
lag_design <- function(d, periods, nlag) {
  d$row <- seq_len(nrow(d))
  d$t <- match(d$per, periods)
  back <- data.frame(subj = d$subj, t = d$t + nlag, Lback = d$L)
  m <- merge(d, back, by = c("subj", "t"), all.x = TRUE)
  m <- m[order(m$row), ]
  for (l in levels_L) {
    col <- ifelse(m$t <= nlag, 0, ifelse(is.na(m$Lback), NA, as.numeric(m$Lback == l)))
    m[[paste0("lag_", l)]] <- col
  }
  m
}

predictions <- list()
for (nlag in 1:2) {
  for (by in 0:1) {
    groups <- if (by == 1) split(seq_len(nrow(panel)), panel$site) else list(seq_len(nrow(panel)))
    for (g in groups) {
      train <- panel[g, ]
      periods <- sort(unique(train$per))
      fit <- lm(y ~ x + lag_u + lag_v + lag_w, data = lag_design(train, periods, nlag))
      for (which in c("panel", "rotated")) {
        d <- if (which == "panel") panel[g, ] else rotated[g, ]
        p <- predict(fit, newdata = lag_design(d, periods, nlag))
        predictions[[length(predictions) + 1]] <-
          data.frame(nlag = nlag, by = by, data = which, row = g, p = sprintf("%.17g", p))
      }
    }
  }
}
write.csv(do.call(rbind, predictions), file.path(out, "lag_predictions.csv"), row.names = FALSE,
          quote = FALSE)
