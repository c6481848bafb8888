// The natives of the script class "GSObject", registered by GSMachine::Init
// before every other registrar:
// - "$string@GSObject::GetGSClassName()": the name of the script class of
//   the object it is called on (slot 0 of the current frame), "void" when
//   its instance has no class; the string is made in the current context.
#pragma once

class GSMachine;

namespace GSRuntime {

void RegisterGSObjectNatives(GSMachine& machine);

}  // namespace GSRuntime
