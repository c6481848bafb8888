// Small helpers shared by the query handlers (QueryHandlers.h): finding
// the services, reading body fields with their checks, and writing texts
// that always fit a stream string.
//
// Readers answer false when the body cannot supply the field whole (the
// stream's error code is then set); they never read past the body.
// WriteReplyText cuts a text over 65535 bytes at a UTF-8 character
// boundary (TStream refuses longer texts) and writes it as a "string";
// WriteReplyPString does the same in the "PString" form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/text/KUID.h"

class AssetStore;
class DaemonRequest;
class SettingsStore;
class TStream;

std::shared_ptr<AssetStore> FindAssetStore(DaemonRequest& request);
std::shared_ptr<SettingsStore> FindSettingsStore(DaemonRequest& request);
// One information message about `kuid` for each "<path> as <aside>" the
// store set aside to make way for its folder (AssetStore.h, Names in the
// way): "Set aside <path> as <aside>: it stood where the asset's folder
// goes."
void SendSetAside(DaemonRequest& request, const std::vector<std::string>& setAside,
                  const KUID& kuid);

bool ReadBodyKUID(DaemonRequest& request, KUID* kuid);
bool ReadBodyU32(DaemonRequest& request, uint32_t* value);
bool ReadBodyU64(DaemonRequest& request, uint64_t* value);
bool ReadBodyBool(DaemonRequest& request, bool* value);
// A "string" or "PString" field (both forms are read; cut at its first NUL).
bool ReadBodyText(DaemonRequest& request, std::string* text);
// Every byte left in the body.
std::vector<uint8_t> ReadBodyRest(DaemonRequest& request);

// `text` cut to at most `limit` bytes, at a UTF-8 character boundary.
std::string FitText(std::string_view text, size_t limit);
void WriteReplyText(TStream& out, std::string_view text);
void WriteReplyPString(TStream& out, std::string_view text);
