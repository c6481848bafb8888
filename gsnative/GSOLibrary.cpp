#include "gsnative/GSOLibrary.h"

GSRuntime::GSClass* gLibraryScriptClass = nullptr;
