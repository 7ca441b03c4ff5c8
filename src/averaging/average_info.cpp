// ModelAverageInfo: the settings of model averaging, once per step before the BY groups.
#include "averaging/averaging.h"
#include "output/output.h"
#include "selection/group.h"

namespace vsf {

int printModelAverageInfo(StepView* s) {
  const ModelAverageOptions& m = s->settings.modelAverage;
  DisplayClock clock(&s->output);
  FactoidTable t(&s->output);
  t.create("ModelAverageInfo", "Stat.VARSIFTER.ModelAverageInfo", msgStr(1100));
  t.entry(msgStr(1101), valueString(msgStr(m.srs ? 1103 : 1102)));
  if (m.sampleFraction != 0) t.entry(msgStr(1104), valueDouble(100 * m.sampleFraction));
  if (m.sampleSize != 0) t.entry(msgStr(1105), valueInt(m.sampleSize));
  t.entry(msgStr(1106), valueInt(m.samples));
  if (m.refit) {
    if (m.refitMinPct != 0) t.entry(msgStr(1120), valueDouble(100 * m.refitMinPct));
    if (m.refitBest >= 0) t.entry(msgStr(1121), valueInt(m.refitBest));
    t.entry(msgStr(1122), valueInt(m.refitSamples));
  }
  if (m.parmThreshold != 0) t.entry(msgStr(1118), valueDouble(100 * m.parmThreshold));
  if (m.subsetMinModelFreq != 0) t.entry(msgStr(1119), valueInt(m.subsetMinModelFreq));
  if (m.averageMethodGiven) {
    const int message = m.averageMethod == 2   ? (m.trimFraction != 0 ? 1111 : 1109)
                        : m.averageMethod == 3 ? 1112
                        : m.averageMethod == 4 ? 1113
                                               : (m.trimFraction != 0 ? 1110 : 1108);
    t.entry(msgStr(1107), valueString(msgStr(message, {100 * m.trimFraction})));
  }
  t.close();
  t.release();
  return 0;
}

}  // namespace vsf
