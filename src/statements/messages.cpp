// The readers' messages: a repair is a warning, a refusal ends the step with its code.
#include "base/host.h"
#include "statements/statements.h"

namespace vsf {

void repairMsg(int& stepCode, int number, std::initializer_list<MsgArg> args) {
  hostMsg(848, number, args);
  raiseStepCode(stepCode, step::kWarning);
}

void noEffectMsg(std::string_view option) { hostMsg(848, 4972, {option}); }

void refuseMsg(int& stepCode, int number, int code, std::initializer_list<MsgArg> args) {
  hostMsg(848, number, args);
  raiseStepCode(stepCode, code);
}

}  // namespace vsf
