#!/usr/bin/Rscript
# Regenerate: Rscript tests/reference/e2e_files.R
# Writes data sets as R writes them into tests/data/e2e/, and R's fit of them:
#   r_rownames.csv   write.csv(): a first column of row names under an empty name
#   r_plain.csv      write.csv(row.names = FALSE)
#   r_semicolon.csv  write.csv2(): ";" between values, the decimal comma, row names
#   r_lm.csv         term, estimate, stderr of lm(mpg ~ wt + hp + qsec) on the rows whose
#                    values are all finite (lm refuses Inf, and leaves NA rows out)
# The data: mtcars' mpg, wt, hp, qsec and am, with a missing hp (NA), an infinite qsec (Inf)
# and an infinite wt (-Inf), so that R's NA and Inf are read as R meant them.
args <- commandArgs(trailingOnly = FALSE)
here <- dirname(normalizePath(sub("--file=", "", args[grep("--file=", args)])))
out <- file.path(here, "..", "data", "e2e")

d <- mtcars[, c("mpg", "wt", "hp", "qsec", "am")]
d$hp[3] <- NA
d$qsec[5] <- Inf
d$wt[7] <- -Inf
write.csv(d, file.path(out, "r_rownames.csv"))
write.csv(d, file.path(out, "r_plain.csv"), row.names = FALSE)
write.csv2(d, file.path(out, "r_semicolon.csv"))

finite <- d[is.finite(d$wt) & is.finite(d$qsec), ]
fit <- summary(lm(mpg ~ wt + hp + qsec, data = finite))
co <- coef(fit)
terms <- sub("\\(Intercept\\)", "Intercept", rownames(co))
write.csv(data.frame(term = terms,
                     estimate = formatC(co[, 1], digits = 17, format = "g"),
                     stderr = formatC(co[, 2], digits = 17, format = "g")),
          file.path(out, "r_lm.csv"), row.names = FALSE, quote = FALSE)
