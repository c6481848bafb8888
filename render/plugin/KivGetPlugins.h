// KivGetPlugins: the program's plug-in entry. The engine runs it once when
// it loads the program's plug-in set (kiv/host/PluginSet.h; on Linux
// start-up calls it directly through PluginSet::Load with
// kVandruPluginCategory). It makes, in this order, the material plug-ins
// "tbumpgloss", "tbumptex", "tbumpenv", "tonetexnoalpha", "tglossrust",
// "tmpfx" and "nofogtex", then the resource types "im", "pm", "lm.txt",
// "lm" and "convert-tex.txt" with their type UIds under the category
// kVandruPluginCategory ("lm.txt" and "lm" share one type UId and one
// resource class). Each object joins the loading set in its engine base
// constructor and belongs to it from then on. An object that cannot be
// allocated is skipped; the others are still made.
#pragma once

inline constexpr const char* kVandruPluginCategory = "4C414E80-BBDA-11d4-9AD7-0001025364B8";

extern "C" __attribute__((visibility("default"))) void KivGetPlugins();
