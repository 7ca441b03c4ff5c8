// PolynomialScaling, and the lag designs of a LAG effect: one row per subject, one column per
// period, holding the lagged variable's level in that period (LagDesignLevels: level numbers;
// LagDesign: the subjects', periods' and levels' values).
#include <algorithm>
#include <string>
#include <vector>

#include "base/strings.h"
#include "displays/constructed_internal.h"
#include "displays/displays.h"

namespace vsf {

namespace {

// A level's text without trailing blanks.
std::string levelTextOf(const LevelVar& v, int l) {
  if (!v.levelTexts || l < 0 || l >= v.levelCount) return std::string();
  return std::string(trimRight(
      std::string_view(v.levelTexts[l], static_cast<size_t>(std::max(v.formattedWidth, 0)))));
}

bool isCharacter(const LevelVar& v) { return v.desc && v.desc->type == kVarCharacter; }

// One value cell of a level: a double, or a text of the variable's length.
struct LevelCell {
  const LevelVar* var = nullptr;
  double number = 0;
  std::vector<char> text;

  explicit LevelCell(const LevelVar& v) : var(&v) {
    if (isCharacter(v)) text.assign(static_cast<size_t>(std::max(v.desc->length, 1)) + 1, ' ');
  }
  const void* binding() const {
    return text.empty() ? static_cast<const void*>(&number) : text.data();
  }
  // The level's value, or missing (blank) for no level.
  void set(int level) {
    const bool has = level >= 0 && level < var->levelCount && var->levels;
    if (text.empty()) {
      number = has ? var->levels[level].value : missingValue('.');
      return;
    }
    std::fill(text.begin(), text.end(), ' ');
    if (has && var->levels[level].text)
      std::copy_n(var->levels[level].text,
                  std::min<size_t>(static_cast<size_t>(var->levels[level].length), text.size() - 1),
                  text.begin());
  }
  // Column items of a value column: its width and justification by the variable's format.
  std::vector<OutputArgItem> items(std::string_view templateColumn, std::string_view width,
                                   std::string_view just) const {
    std::vector<OutputArgItem> more = {argString(key::kTemplate, hstr(templateColumn))};
    if (!text.empty()) {
      more.push_back(argInt(dkey::kTextWidth, static_cast<int32_t>(text.size() - 1)));
      return more;
    }
    const bool formatted = !var->desc->format.empty();
    addDynamic(more, width, valueInt(formatted ? var->desc->formatWidth : var->desc->length));
    addDynamic(more, just, valueString(hstr(formatted ? "l" : "r")));
    return more;
  }
};

// The rows of a table: the subject's level index of each subject variable, per subject in
// group order.
std::vector<std::vector<int32_t>> subjects(const LagRecord& lag, const LagGroupTable& table) {
  std::vector<std::vector<int32_t>> out;
  if (!table.tree) {
    for (int32_t i = 0; i < table.groupCount; ++i) out.push_back({i});
    return out;
  }
  for (ZTreeNode* n = ZTREORD(table.tree); n; n = ZTREORD(table.tree)) {
    const auto* key =
        reinterpret_cast<const int32_t*>(reinterpret_cast<const char*>(n) + kLagKeyOffset);
    out.emplace_back(key, key + lag.keyCount);
  }
  return out;
}

void lagTable(OutputSink* out, const ZDesignVar& v, const ZDesign* d, bool values) {
  const LagRecord& lag = *v.lag;
  const LevelVar& lagged = d->classVars[lag.lagged];
  const LevelVar& period = d->classVars[lag.time];
  const LagGroupTable* main = lag.tables[2] ? lag.tables[2] : lag.tables[0];
  const LagGroupTable* second = lag.tables[2] ? nullptr : lag.tables[1];
  if (!main) return;
  const int P = lag.stride;
  HostString* label =
      msgStr(values ? 972 : 970, {varNameOf(lagged), std::string_view(designVarName(v))});
  int32_t role = 1;
  char control = ' ';
  std::vector<double> subjectLevels(static_cast<size_t>(lag.keyCount));
  std::vector<LevelCell> subjectValues;
  for (int k = 0; k < lag.keyCount; ++k) subjectValues.emplace_back(d->classVars[lag.keys[k]]);
  std::vector<double> periodLevels(static_cast<size_t>(P));
  std::vector<LevelCell> periodValues(static_cast<size_t>(P), LevelCell(lagged));

  DataTable t(out);
  t.create(values ? "LagDesign" : "LagDesignLevels",
           {argString(key::kTitle, msgStr(971)), argString(key::kLabel2, label)});
  if (second) {
    t.column(ctype::kChar, "Control", &control);
    t.column(ctype::kInt, "Role", &role);
  }
  for (int k = 0; k < lag.keyCount; ++k) {
    const LevelVar& s = d->classVars[lag.keys[k]];
    if (!values) {
      t.column(
          ctype::kDouble, varNameOf(s), &subjectLevels[static_cast<size_t>(k)],
          {argPointer(dkey::kVariable, 7, s.desc), argString(key::kTemplate, hstr("Subject"))});
      continue;
    }
    const LevelCell& c = subjectValues[static_cast<size_t>(k)];
    const bool text = isCharacter(s);
    t.column(text ? ctype::kText : ctype::kDouble, varNameOf(s), c.binding(),
             c.items(text ? "WithinCharVar" : "WithinNumVar", "withinWidth", "withinJust"));
  }
  for (int p = 0; p < P; ++p) {
    const std::string name = "Period" + std::to_string(p + 1);
    std::vector<OutputArgItem> more;
    const void* binding = &periodLevels[static_cast<size_t>(p)];
    int type = ctype::kDouble;
    if (values) {
      const LevelCell& c = periodValues[static_cast<size_t>(p)];
      more = c.items(isCharacter(lagged) ? "PeriodCharVar" : "PeriodNumVar", "periodWidth",
                     "periodJust");
      binding = c.binding();
      type = isCharacter(lagged) ? ctype::kText : ctype::kDouble;
      more.push_back(argString(key::kLabel2, hstr(levelTextOf(period, p))));
    } else {
      more = {argString(key::kLabel2, hstr(std::to_string(p + 1))),
              argString(key::kTemplate, hstr("Period"))};
    }
    if (p == 0) {
      addDynamic(more, "spans", valueString(hstr("Period1")));
      addDynamic(more, "spane", valueString(hstr("Period" + std::to_string(P))));
    }
    t.column(type, name, binding, more);
  }
  t.endColumns();
  std::vector<OutputArgItem> header;
  addDynamic(header, "Header", valueString(label));
  const std::string periodLabel = period.desc && !period.desc->label.empty()
                                      ? period.desc->label
                                      : std::string(varNameOf(period));
  addDynamic(header, "PeriodVarLabel", valueString(hstr(periodLabel)));
  t.bind(values ? "Stat.VARSIFTER.LagDesign" : "Stat.VARSIFTER.LagDesignLevels", header);
  for (const LagGroupTable* table : {main, second}) {
    if (!table) continue;
    role = table == main ? 1 : 0;
    bool first = true;
    const std::vector<std::vector<int32_t>> rows = subjects(lag, *table);
    for (size_t i = 0; i < rows.size(); ++i) {
      for (int k = 0; k < lag.keyCount && k < static_cast<int>(rows[i].size()); ++k) {
        subjectLevels[static_cast<size_t>(k)] = rows[i][static_cast<size_t>(k)] + 1;
        subjectValues[static_cast<size_t>(k)].set(rows[i][static_cast<size_t>(k)]);
      }
      for (int p = 0; p < P; ++p) {
        const int32_t cell = table->cells ? table->cells[i * static_cast<size_t>(P) + p] : 0;
        periodLevels[static_cast<size_t>(p)] = cell > 0 ? cell : missingValue('.');
        periodValues[static_cast<size_t>(p)].set(cell - 1);
      }
      control = first && role == 0 ? '-' : ' ';
      first = false;
      t.row();
    }
  }
  t.close();
  t.release();
}

}  // namespace

void printLagDesignLevels(OutputSink* out, const ZDesignVar& v, const ZDesign* d) {
  lagTable(out, v, d, false);
}

void printLagDesign(OutputSink* out, const ZDesignVar& v, const ZDesign* d) {
  lagTable(out, v, d, true);
}

void printPolynomialScaling(OutputSink* out, const ZDesign* d, const ZDesignVar& v) {
  const PolyRecord& p = *v.poly;
  if (p.standardize == 0 || (!p.center && !p.scale)) return;
  const MomentSums* m = p.standardize == 2   ? d->moments[1]
                        : p.standardize == 1 ? d->moments[0]
                                             : nullptr;
  int width = 1;
  for (int i = 0; i < p.varCount; ++i)
    width = std::max(width, static_cast<int>(varNameOf(d->modelVars[p.vars[i]]).size()));
  std::vector<char> name(static_cast<size_t>(width) + 1, ' ');
  double minimum = 0, maximum = 0, n = 0, freqs = 0, weights = 0, sum = 0, squares = 0;
  double center = 0, scale = 0;
  HostString* label = msgStr(940, {std::string_view(designVarName(v))});
  DataTable t(out);
  t.create("PolynomialScaling",
           {argString(key::kTitle, msgStr(941)), argString(key::kLabel2, label)});
  t.column(ctype::kText, "Variable", name.data(), {argInt(dkey::kTextWidth, width)});
  t.column(ctype::kDouble, "Minimum", &minimum);
  t.column(ctype::kDouble, "Maximum", &maximum);
  if (m) {
    t.column(ctype::kDouble, "nObs", &n);
    t.column(ctype::kDouble, "SumFreqs", &freqs);
    if (p.standardize == 2) t.column(ctype::kDouble, "SumWeights", &weights);
    if (p.center) t.column(ctype::kDouble, "Sum", &sum);
    if (p.scale) t.column(ctype::kDouble, "SumSq", &squares);
  }
  if (p.center) t.column(ctype::kDouble, "Center", &center);
  if (p.scale) t.column(ctype::kDouble, "Scale", &scale);
  t.endColumns();
  std::vector<OutputArgItem> header;
  addDynamic(header, "Header", valueString(label));
  t.bind("Stat.VARSIFTER.PolynomialScaling", header);
  for (int i = 0; i < p.varCount; ++i) {
    const int32_t j = p.vars[i];
    const LevelVar& x = d->modelVars[j];
    fillField(name.data(), width, varNameOf(x));
    const double c = x.center, h = x.halfRange;
    minimum = c - h;
    maximum = c + h;
    if (m) {
      // The sums of deviations from the provisional centre give the raw sums back.
      const double W = m->weightedTotal, s1 = m->sums[j], s2 = m->squares[j];
      n = m->count;
      freqs = m->frequencyTotal;
      weights = W;
      sum = W * c + s1;
      squares = c * (2 * s1 + c * W) + s2;
    }
    center = p.centers[i];
    scale = p.scales[i];
    t.row();
  }
  t.close();
  t.release();
}

void printLagDesignTable(OutputSink* out, const ZDesignVar& var, const ZDesign* design) {
  if (!var.lag) return;
  if (var.lag->keyCount > 1)
    printLagDesignLevels(out, var, design);
  else
    printLagDesign(out, var, design);
}

}  // namespace vsf
