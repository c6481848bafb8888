// Single answers taken from the asset record of request 0x15
// (VADClientRequests::GetAssetInfo), and from the asset's configuration.
//
// GetAssetInfoField (mask 1): the display name `username`. GetAssetInfoTextA
// (mask 4): `text4`; GetAssetInfoTextB (mask 4): `text2`;
// GetAssetInfoTextC (mask 4): `text3`. Each answers the empty text when the
// request fails. (The status queries are VADClientRequests::IsAsset...)
//
// GetAssetScriptAndClass: reads the asset's configuration (request 0x14);
// `script` is the "script" tag, else "scriptlibrary", with its extension
// set to "gs" when it is not empty (its case is kept: the file layer finds
// names in any case, and a path that is opened is never lower-cased);
// `scriptClass` is the "class" tag, else "scriptclass", else "classlibrary"
// (the old name that the upgrade of old configurations maps to "class").
// False when there is no configuration.
//
// GetAuthorName: the user name of an author id through the user-name
// lookup (WebRequests.h); true when it is not empty.
//
// Thread-safe as VADClient::Transact is; GetAuthorName as the user-name
// cache is (see WebRequests.h).
#pragma once

#include <cstdint>

#include "foundation/text/KUID.h"
#include "kiv/String.h"

Kiv::String GetAssetInfoField(const KUID& kuid);
Kiv::String GetAssetInfoTextA(const KUID& kuid);
Kiv::String GetAssetInfoTextB(const KUID& kuid);
Kiv::String GetAssetInfoTextC(const KUID& kuid);

bool GetAssetScriptAndClass(const KUID& kuid, Kiv::String& script, Kiv::String& scriptClass);
bool GetAuthorName(int32_t authorId, Kiv::String& name);
