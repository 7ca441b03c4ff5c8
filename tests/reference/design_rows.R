#!/usr/bin/Rscript
# Regenerate: Rscript tests/reference/design_rows.R
# Design matrices of mtcars (cyl, gear and am as CLASS variables) from R's model.matrix, for the
# design-row tests: reference coding with the last level as reference (contr.treatment with
# base = last), effect coding (contr.sum), the indicator layout of observed level combinations
# (contrasts = FALSE, all-zero columns dropped) and reference coding without an intercept.
# Each column is named by its parts in a canonical form: "Intercept", or the sorted parts
# "var=level" and continuous names joined by "|", so the tests can match columns by name.
args <- commandArgs(trailingOnly = FALSE)
here <- dirname(normalizePath(sub("^--file=", "", args[grep("^--file=", args)])))
root <- normalizePath(file.path(here, "..", ".."))
out <- file.path(root, "tests", "data", "design")
dir.create(out, showWarnings = FALSE, recursive = TRUE)

d <- read.csv(file.path(root, "examples", "data", "mtcars.csv"))
for (v in c("cyl", "gear", "am")) d[[v]] <- factor(d[[v]], levels = sort(unique(d[[v]])))

treatment <- function(f) contr.treatment(levels(f), base = nlevels(f))
sum_coded <- function(f) { m <- contr.sum(levels(f)); colnames(m) <- levels(f)[-nlevels(f)]; m }
indicator <- function(f) { m <- diag(nlevels(f)); dimnames(m) <- list(levels(f), levels(f)); m }
factors <- c("cyl", "gear", "am")

canonical <- function(name) {
  if (name == "(Intercept)") return("Intercept")
  parts <- strsplit(name, ":", fixed = TRUE)[[1]]
  keys <- vapply(parts, function(p) {
    for (v in factors) if (startsWith(p, v)) return(paste0(v, "=", substring(p, nchar(v) + 1)))
    p
  }, "")
  paste(sort(keys), collapse = "|")
}

write_design <- function(formula, contrasts, file, drop_zero = FALSE) {
  m <- model.matrix(formula, d, contrasts.arg = contrasts)
  if (drop_zero) m <- m[, colSums(m != 0) > 0, drop = FALSE]
  colnames(m) <- vapply(colnames(m), canonical, "")
  stopifnot(!anyDuplicated(colnames(m)))
  write.csv(m, file.path(out, file), row.names = FALSE)
}

with_int <- ~ wt + cyl + gear + cyl:gear + cyl:am + wt:cyl + wt:hp
write_design(with_int, lapply(d[factors], treatment), "mtcars_ref.csv")
write_design(with_int, lapply(d[factors], sum_coded), "mtcars_effect.csv")
write_design(with_int, lapply(d[factors], indicator), "mtcars_indicator.csv", drop_zero = TRUE)
write_design(~ 0 + cyl + gear + cyl:gear + wt + wt:cyl + cyl:am,
             lapply(d[factors], treatment), "mtcars_noint_ref.csv")
