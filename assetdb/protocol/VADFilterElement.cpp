#include "assetdb/protocol/VADFilterElement.h"

#include "assetdb/protocol/VADFilterElementAssetID.h"
#include "assetdb/protocol/VADFilterElementBool.h"
#include "assetdb/protocol/VADFilterElementGroup.h"
#include "assetdb/protocol/VADFilterElementRange.h"
#include "assetdb/protocol/VADFilterElementString.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"

bool VADFilterElement::Equals(const VADFilterElement& other) const {
  return GetFieldName() == other.GetFieldName() && GetValueText() == other.GetValueText();
}

Kiv::PString UnknownFilterFieldName() {
  static const Kiv::PString kUnknown("unknown");
  return kUnknown;
}

std::unique_ptr<VADFilterElement> MakeFilterElement(uint32_t typeCode) {
  switch (typeCode) {
    case kFilterTypeString:
      return std::make_unique<VADFilterElementString>(VADFilterElementString::kAssetName,
                                                      Kiv::PString());
    case kFilterTypeTimestamp:
      return std::make_unique<VADFilterElementTimestamp>(0, 0, 0, false, false);
    case kFilterTypeInt:
      return std::make_unique<VADFilterElementInt>(VADFilterElementInt::kAuthor, 0, 0, false,
                                                   false);
    case kFilterTypeAssetID:
      return std::make_unique<VADFilterElementAssetID>(VADFilterElementAssetID::kAssetId);
    case kFilterTypeBool:
      return std::make_unique<VADFilterElementBool>(VADFilterElementBool::kLocallyAvailable);
    case kFilterTypeGroup:
      return std::make_unique<VADFilterElementGroup>();
    default:
      return nullptr;
  }
}

bool WriteFilterElement(TStream& stream, const VADFilterElement* element) {
  if (!element) {
    TStreamWriteU32(stream, 0);
    return false;
  }
  TStreamWriteU32(stream, element->GetTypeCode());
  return element->Write(stream);
}

std::unique_ptr<VADFilterElement> ReadFilterElement(TStream& stream) {
  uint32_t typeCode = 0;
  TStreamReadU32(stream, typeCode, 0);
  std::unique_ptr<VADFilterElement> element = MakeFilterElement(typeCode);
  if (!element) return nullptr;
  if (!element->Read(stream)) return nullptr;
  return element;
}

bool FilterElementsEqual(const VADFilterElement* a, const VADFilterElement* b) {
  if (!a || !b) return a == b;
  return a->Equals(*b) && b->Equals(*a);
}
