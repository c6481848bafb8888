// The material types of this program: type name, request name ("m." and
// the type name) and UId, in the order the plug-ins are made. "groundbase"
// has a UId but no plug-in.
#pragma once

namespace Kiv {

struct MaterialTypeName {
  const char* type;
  const char* request;
  const char* uid;
};

inline constexpr MaterialTypeName kBumpGlossType{"tbumpgloss", "m.tbumpgloss",
                                                 "F7478888-C721-48AB-B3C0-19621E66554E"};
inline constexpr MaterialTypeName kBumpType{"tbumptex", "m.tbumptex",
                                            "E34011F3-C721-48ba-B3C0-19621E408CBD"};
inline constexpr MaterialTypeName kBumpEnvType{"tbumpenv", "m.tbumpenv",
                                               "0ECEE41C-76E7-47fd-ADBB-0E938E809C03"};
inline constexpr MaterialTypeName kOneTexNoAlphaType{"tonetexnoalpha", "m.tonetexnoalpha",
                                                     "4BB6C98F-6FDF-4cb9-9CE2-7E40B2A78626"};
inline constexpr MaterialTypeName kGlossRustType{"tglossrust", "m.tglossrust",
                                                 "AFCA4E1B-811A-56EE-89E4-CAB13F9B6712"};
inline constexpr MaterialTypeName kMultiPFXType{"tmpfx", "m.tmpfx",
                                                "643AFE90-426A-46EE-C19F-FFA0A471ABD7"};
inline constexpr MaterialTypeName kNoFogType{"nofogtex", "m.nofogtex",
                                             "AB84944B-00A6-4a18-8BAF-4664E98075AA"};
inline constexpr MaterialTypeName kGroundBaseType{"groundbase", "m.groundbase",
                                                  "C271BEBB-D17E-4ebe-9582-D531F1E23727"};

}  // namespace Kiv
