// What native objects hold is charged to the live-byte meter of their
// context: each kind stops at a small bound with its own refusal, leaves
// what it held, and gives its bytes back when it goes. The natives are
// called on hand-made frames (no running thread: refusals are printed).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NativeCallFrame.h"
#include "RuntimeTestSupport.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/stream/TBuffer.h"
#include "gsnative/GSOHTMLBuffer.h"
#include "gsnative/GSOImage.h"
#include "gsnative/GSOKUID.h"
#include "gsnative/GSOKUIDList.h"
#include "gsnative/GSOSecurityToken.h"
#include "gsnative/GSOSoup.h"
#include "gsnative/NativeLibraryRegistration.h"
#include "gsruntime/GSArray.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSRouter.h"
#include "gsruntime/GSString.h"
#include "kiv/DynamicBuffer.h"
#include "kiv/File.h"

namespace {

using GSRuntime::GSContext;
using GSRuntime::GSFromBool;
using GSRuntime::GSFromInt;
using GSRuntime::GSObjectReference;
using GSRuntime::GSString;
using GSRuntime::GSValue;
using GSTest::NativeCallFrame;

constexpr uint64_t kMiB = uint64_t{1} << 20;

class NativeMemoryBoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Kiv::File::Subst(root_, VU_SCRIPT_LIBRARIES_DIR);
    machine_.Init();
    machine_.AddLibraryFolder(root_);
    FindScriptClass(machine_, "Image.gsl", "Image", &gImageScriptClass);
    FindScriptClass(machine_, "HTMLBuffer.gsl", "HTMLBuffer", &gHTMLBufferScriptClass);
    FindScriptClass(machine_, "kuid.gsl", "KUID", &gKUIDScriptClass);
    FindScriptClass(machine_, "KUIDList.gsl", "KUIDList", &gKUIDListScriptClass);
    FindScriptClass(machine_, "Soup.gsl", "Soup", &gSoupScriptClass);
    FindScriptClass(machine_, "SecurityToken.gsl", "SecurityToken", &gSecurityTokenScriptClass);
    context_ = std::make_unique<GSContext>();
  }
  void TearDown() override {
    for (GSValue ref : held_) GSObjectReference::Release(ref);
    held_.clear();
    context_.reset();
    gImageScriptClass = gHTMLBufferScriptClass = gKUIDScriptClass = gKUIDListScriptClass =
        gSoupScriptClass = gSecurityTokenScriptClass = nullptr;
    Kiv::File::Subst(root_, Kiv::String());
  }

  GSRuntime::GSAllocationMeter& Meter() { return context_->Meter(); }
  // A reference the test keeps until its end (`context` null: the
  // process-wide meter, so that arguments do not use the bound tested).
  GSValue Text(const std::string& text, GSContext* context = nullptr) {
    GSString* string = GSString::Create(text, context);
    EXPECT_NE(string, nullptr);
    return Keep(string->GetScriptInstance());
  }
  GSValue Keep(GSValue ref) {
    held_.push_back(ref);
    return ref;
  }
  // Calls `native` on `object` with `args` (the frame's end releases its
  // count of the object).
  template <class T>
  void Call(T* object, void (T::*native)(GSRuntime::GSStack&), const std::vector<GSValue>& args) {
    GSObjectReference::AddRef(object->GetScriptInstance());
    NativeCallFrame frame(object->GetScriptInstance(), args);
    (object->*native)(frame.Stack());
  }

  const Kiv::PString root_{"nativememorytest"};
  GSMachine machine_;
  std::unique_ptr<GSContext> context_;
  std::vector<GSValue> held_;
  GSTest::PrintCapture print_;
};

TEST_F(NativeMemoryBoundTest, ImagesStopAtTheBoundAndGiveTheirPixelsBack) {
  ASSERT_NE(gImageScriptClass, nullptr);
  Meter().SetLimit(60 * kMiB);  // three bitmaps of 2048 x 2048 (16 MiB each)
  std::vector<GSOImage*> images;
  for (int i = 0; i < 4; ++i) {
    images.push_back(GSOImage::Create(context_.get()));
    ASSERT_NE(images.back(), nullptr);
    Keep(images.back()->GetScriptInstance());
    Call(images.back(), &GSOImage::Clear, {GSFromInt(2048), GSFromInt(2048)});
  }
  EXPECT_EQ(print_.Count("Image.Clear> image too large"), 1u);
  EXPECT_EQ(images[3]->GetBitmap(), nullptr);
  EXPECT_EQ(Meter().Live(), 48 * kMiB);

  // A new bitmap in place of one held fits; a resize holds both at once
  // and does not, and leaves the image as it was.
  Call(images[0], &GSOImage::Clear, {GSFromInt(2048), GSFromInt(2048)});
  Call(images[0], &GSOImage::Resize, {GSFromInt(2048), GSFromInt(2040), GSFromBool(true)});
  EXPECT_EQ(print_.Count("Image.Clear> image too large"), 1u);
  EXPECT_EQ(print_.Count("Image.Resize> image too large"), 1u);
  ASSERT_NE(images[0]->GetBitmap(), nullptr);
  EXPECT_EQ(images[0]->GetBitmap()->Height(), 2048u);

  Call(images[1], &GSOImage::Clear, {GSFromInt(0), GSFromInt(0)});
  Call(images[0], &GSOImage::Resize, {GSFromInt(1024), GSFromInt(1024), GSFromBool(false)});
  Call(images[3], &GSOImage::Clear, {GSFromInt(2048), GSFromInt(2048)});
  ASSERT_NE(images[3]->GetBitmap(), nullptr);
  EXPECT_EQ(Meter().Live(), 36 * kMiB);
  for (GSValue& ref : held_) GSObjectReference::Release(std::exchange(ref, 0));
  EXPECT_EQ(Meter().Live(), 0u);
}

TEST_F(NativeMemoryBoundTest, HTMLBuffersStopAtTheBoundAndClearGivesBack) {
  ASSERT_NE(gHTMLBufferScriptClass, nullptr);
  Meter().SetLimit(8 * kMiB);
  const GSValue mebibyte = Text(std::string(kMiB, 'x'));
  GSOHTMLBuffer* buffer = GSOHTMLBuffer::Create(context_.get());
  ASSERT_NE(buffer, nullptr);
  Keep(buffer->GetScriptInstance());
  // Storage of 1, 3 and 7 MiB; growing to 7 holds the 3 MiB until the text
  // is moved, which passes the bound.
  for (int i = 0; i < 5; ++i) Call(buffer, &GSOHTMLBuffer::Print, {mebibyte});
  EXPECT_EQ(print_.Count("HTMLBuffer.Print> buffer too large"), 2u);
  EXPECT_EQ(buffer->Length(), 3 * kMiB);
  EXPECT_LE(Meter().Live(), Meter().Limit());
  Call(buffer, &GSOHTMLBuffer::Escape, {Text(std::string(kMiB, '<'))});
  EXPECT_EQ(print_.Count("HTMLBuffer.Escape> buffer too large"), 1u);

  // Many buffers share the bound.
  GSOHTMLBuffer* other = GSOHTMLBuffer::Create(context_.get());
  ASSERT_NE(other, nullptr);
  Keep(other->GetScriptInstance());
  for (int i = 0; i < 5; ++i) Call(other, &GSOHTMLBuffer::Print, {mebibyte});
  EXPECT_EQ(other->Length(), 3 * kMiB);
  EXPECT_EQ(print_.Count("HTMLBuffer.Print> buffer too large"), 4u);

  Call(buffer, &GSOHTMLBuffer::Clear, {});
  EXPECT_EQ(Meter().Live(), 3 * kMiB);
  for (int i = 0; i < 3; ++i) Call(buffer, &GSOHTMLBuffer::Print, {mebibyte});
  EXPECT_EQ(buffer->Length(), 3 * kMiB);
  EXPECT_EQ(print_.Count("HTMLBuffer.Print> buffer too large"), 4u);
}

TEST_F(NativeMemoryBoundTest, KUIDListsStopAtTheBound) {
  ASSERT_NE(gKUIDListScriptClass, nullptr);
  ASSERT_NE(gKUIDScriptClass, nullptr);
  Meter().SetLimit(64 * 1024);
  GSOKUIDList* list = GSOKUIDList::Create(context_.get());
  ASSERT_NE(list, nullptr);
  Keep(list->GetScriptInstance());
  for (int32_t i = 0; i < 4000; ++i) {
    GSOKUID* kuid = GSOKUID::Create(context_.get(), KUID{i, 1, 0});
    ASSERT_NE(kuid, nullptr);
    Call(list, &GSOKUIDList::AddKUID, {Keep(kuid->GetScriptInstance())});
  }
  const size_t taken = list->KUIDs().size();
  EXPECT_GT(taken, 500u);
  EXPECT_LT(taken, 4000u);
  EXPECT_EQ(print_.Count("KUIDList.AddKUID> list too large"), 4000 - taken);
  EXPECT_LE(Meter().Live(), Meter().Limit());
  // A refused KUID is not listed; the ones taken still are.
  EXPECT_FALSE(list->Has(KUID{3999, 1, 0}));
  EXPECT_TRUE(list->Has(KUID{0, 1, 0}));
  EXPECT_TRUE(list->Has(KUID{int32_t(taken) - 1, 1, 0}));

  // A copy that cannot fit leaves its list empty; clearing gives back.
  GSOKUIDList* copy = GSOKUIDList::Create(context_.get());
  ASSERT_NE(copy, nullptr);
  Keep(copy->GetScriptInstance());
  Call(copy, &GSOKUIDList::Copy, {list->GetScriptInstance()});
  EXPECT_EQ(print_.Count("KUIDList.Copy> list too large"), 1u);
  EXPECT_TRUE(copy->KUIDs().empty());
  Call(list, &GSOKUIDList::Clear, {});
  EXPECT_EQ(Meter().Live(), 0u);
}

// Each KUID listed holds the same bytes, through every growth of the list
// and its table; a listed KUID, a removal and an add in its place take none,
// and the first KUID past the bound is the one refused.
TEST_F(NativeMemoryBoundTest, KUIDListChargesTheSameForEachKUIDUpToTheBound) {
  ASSERT_NE(gKUIDListScriptClass, nullptr);
  ASSERT_NE(gKUIDScriptClass, nullptr);
  std::vector<GSValue> kuids;
  for (int32_t i = 0; i < 600; ++i) {
    GSOKUID* kuid = GSOKUID::Create(context_.get(), KUID{7, i, i % 3});
    ASSERT_NE(kuid, nullptr);
    kuids.push_back(Keep(kuid->GetScriptInstance()));
  }
  GSOKUIDList* list = GSOKUIDList::Create(context_.get());
  ASSERT_NE(list, nullptr);
  Keep(list->GetScriptInstance());
  const uint64_t empty = Meter().Live();
  Call(list, &GSOKUIDList::AddKUID, {kuids[0]});
  const uint64_t entry = Meter().Live() - empty;
  ASSERT_GT(entry, 0u);
  for (size_t i = 1; i < 500; ++i) {
    Call(list, &GSOKUIDList::AddKUID, {kuids[i]});
    Call(list, &GSOKUIDList::AddKUID, {kuids[i / 2]});  // listed already
    ASSERT_EQ(Meter().Live(), empty + (i + 1) * entry) << i;
  }
  Call(list, &GSOKUIDList::RemoveKUID, {kuids[10]});
  EXPECT_EQ(Meter().Live(), empty + 500 * entry);
  Call(list, &GSOKUIDList::AddKUID, {kuids[500]});
  EXPECT_EQ(Meter().Live(), empty + 500 * entry);

  Meter().SetLimit(Meter().Live() + 2 * entry);
  for (size_t i = 501; i < 504; ++i) Call(list, &GSOKUIDList::AddKUID, {kuids[i]});
  EXPECT_EQ(print_.Count("KUIDList.AddKUID> list too large"), 1u);
  EXPECT_EQ(list->KUIDs().size(), 502u);
  EXPECT_TRUE(list->Has(KUID{7, 502, 502 % 3}));
  EXPECT_FALSE(list->Has(KUID{7, 503, 503 % 3}));
  EXPECT_EQ(Meter().Live(), Meter().Limit());
  Call(list, &GSOKUIDList::RemoveKUID, {kuids[0]});
  Call(list, &GSOKUIDList::AddKUID, {kuids[503]});
  EXPECT_TRUE(list->Has(KUID{7, 503, 503 % 3}));
  EXPECT_EQ(print_.Count("KUIDList.AddKUID> list too large"), 1u);
  Call(list, &GSOKUIDList::Clear, {});
  EXPECT_EQ(Meter().Live(), empty);
}

TEST_F(NativeMemoryBoundTest, SoupTagsStopAtTheBoundAndReplacedTagsGiveBack) {
  ASSERT_NE(gSoupScriptClass, nullptr);
  Meter().SetLimit(8 * kMiB);
  const GSValue mebibyte = Text(std::string(kMiB, 's'));
  GSOSoup* soup = GSOSoup::Create(context_.get(), Soup(), false);
  ASSERT_NE(soup, nullptr);
  Keep(soup->GetScriptInstance());
  for (int i = 0; i < 10; ++i)
    Call(soup, &GSOSoup::SetNamedString, {Text("t" + std::to_string(i)), mebibyte});
  EXPECT_EQ(soup->GetSoup().CountTags(), 7u);
  EXPECT_EQ(print_.Count("Soup.SetNamedTag> soup too large"), 3u);
  EXPECT_LE(Meter().Live(), Meter().Limit());

  // Writing a tag again in place of itself, or after removing another, fits.
  for (int i = 0; i < 50; ++i) Call(soup, &GSOSoup::SetNamedString, {Text("t0"), mebibyte});
  Call(soup, &GSOSoup::RemoveNamedTag, {Text("t1")});
  Call(soup, &GSOSoup::SetNamedString, {Text("t9"), mebibyte});
  EXPECT_EQ(print_.Count("Soup.SetNamedTag> soup too large"), 3u);
  EXPECT_EQ(soup->GetSoup().CountTags(), 7u);

  // A copy would pass the bound; the soup keeps its tags.
  GSOSoup* copy = GSOSoup::Create(context_.get(), Soup(), false);
  ASSERT_NE(copy, nullptr);
  Keep(copy->GetScriptInstance());
  Call(copy, &GSOSoup::Copy, {soup->GetScriptInstance()});
  EXPECT_EQ(print_.Count("Soup.Copy> soup too large"), 1u);
  EXPECT_EQ(copy->GetSoup().CountTags(), 0u);

  Call(soup, &GSOSoup::Clear, {});
  EXPECT_LT(Meter().Live(), kMiB);
}

// A tag replaced by a smaller one gives back the difference: the meter holds
// what the small tag alone holds, and the bound stops where it did before.
TEST_F(NativeMemoryBoundTest, SoupTagReplacedByASmallerOneGivesBackTheDifference) {
  ASSERT_NE(gSoupScriptClass, nullptr);
  Meter().SetLimit(64 * kMiB);
  const GSValue mebibyte = Text(std::string(kMiB, 's'));
  const GSValue oneByte = Text("s");
  GSOSoup* soup = GSOSoup::Create(context_.get(), Soup(), false);
  ASSERT_NE(soup, nullptr);
  Keep(soup->GetScriptInstance());
  Call(soup, &GSOSoup::SetNamedString, {Text("kept"), mebibyte});
  Call(soup, &GSOSoup::SetNamedString, {Text("t"), oneByte});
  const uint64_t small = Meter().Live();
  Call(soup, &GSOSoup::SetNamedString, {Text("t"), mebibyte});
  EXPECT_EQ(Meter().Live(), small + kMiB - 1);
  Call(soup, &GSOSoup::SetNamedString, {Text("t"), oneByte});
  EXPECT_EQ(Meter().Live(), small);

  // Room for six more tags of 1 MiB and their names, not seven.
  Meter().SetLimit(small + 6 * kMiB + kMiB / 2);
  for (int i = 0; i < 8; ++i)
    Call(soup, &GSOSoup::SetNamedString, {Text("u" + std::to_string(i)), mebibyte});
  EXPECT_EQ(print_.Count("Soup.SetNamedTag> soup too large"), 2u);
  EXPECT_EQ(soup->GetSoup().CountTags(), 8u);
}

// A loaded binary soup answers by the bytes of its records' names, which
// hold no interned name: a tag written over one of them replaces it, and
// is charged only for what it adds.
TEST_F(NativeMemoryBoundTest, TagWrittenOverALoadedRecordChargesTheDifference) {
  ASSERT_NE(gSoupScriptClass, nullptr);
  Meter().SetLimit(8 * kMiB);
  const std::string name = "record-only-in-the-file";
  Kiv::DynamicBuffer bytes;
  {
    Soup written;
    written.Create();
    written.SetNamedTag(Kiv::PString(name), std::string(kMiB, 'r'));
    TBuffer out(&bytes, false);
    ASSERT_TRUE(BinarySoup::Write(out, written));
  }
  bytes.SetPosition(0);
  TBuffer in(&bytes, false);
  Soup loaded;
  ASSERT_TRUE(BinarySoup::Read(in, loaded));
  GSOSoup* soup = GSOSoup::Create(context_.get(), loaded, false);
  ASSERT_NE(soup, nullptr);
  Keep(soup->GetScriptInstance());
  const uint64_t before = Meter().Live();
  Call(soup, &GSOSoup::SetNamedString, {Text(name), Text(std::string(kMiB, 's'))});
  EXPECT_EQ(soup->GetSoup().CountTags(), 1u);
  EXPECT_EQ(Meter().Live(), before);
}

// Tags written through a sub-soup's object stay charged while the parent
// holds them, though that object is gone; they go with the parent.
TEST_F(NativeMemoryBoundTest, SoupTagsWrittenThroughAGoneObjectStayChargedWhileHeld) {
  ASSERT_NE(gSoupScriptClass, nullptr);
  Meter().SetLimit(8 * kMiB);
  const GSValue mebibyte = Text(std::string(kMiB, 's'));
  GSOSoup* parent = GSOSoup::Create(context_.get(), Soup(), false);
  ASSERT_NE(parent, nullptr);
  const GSValue parentRef = parent->GetScriptInstance();
  for (int i = 0; i < 10; ++i) {
    GSObjectReference::AddRef(parentRef);
    NativeCallFrame frame(parentRef, {Text("c" + std::to_string(i))});
    parent->GetNamedSoupAdd(frame.Stack());
    ASSERT_TRUE(frame.Pushed().has_value());
    const GSValue childRef = *frame.Pushed();
    ASSERT_NE(childRef, 0u);
    auto* child = static_cast<GSOSoup*>(GSRuntime::GSScriptInstance::FromRef(childRef)->native);
    Call(child, &GSOSoup::SetNamedString, {Text("big"), mebibyte});
    GSObjectReference::Release(childRef);
  }
  EXPECT_EQ(print_.Count("Soup.SetNamedTag> soup too large"), 3u);
  EXPECT_LE(Meter().Live(), Meter().Limit());
  EXPECT_GE(Meter().Live(), 7 * kMiB);
  GSObjectReference::Release(parentRef);
  GSOSoup* fresh = GSOSoup::Create(context_.get(), Soup(), false);
  ASSERT_NE(fresh, nullptr);
  Keep(fresh->GetScriptInstance());
  Call(fresh, &GSOSoup::SetNamedString, {Text("big"), mebibyte});
  EXPECT_EQ(print_.Count("Soup.SetNamedTag> soup too large"), 3u);
  EXPECT_LT(Meter().Live(), 2 * kMiB);
}

// A soup holding one sub-soup under two names, twenty levels deep, is a
// few tags; its copy would hold a million copies of the bottom one.
TEST_F(NativeMemoryBoundTest, CopyOfSharedSubSoupsIsMeasuredBeforeItIsMade) {
  ASSERT_NE(gSoupScriptClass, nullptr);
  Meter().SetLimit(8 * kMiB);
  GSOSoup* level = GSOSoup::Create(context_.get(), Soup(), false);
  ASSERT_NE(level, nullptr);
  Keep(level->GetScriptInstance());
  Call(level, &GSOSoup::SetNamedString, {Text("leaf"), Text(std::string(100, 'l'))});
  for (int i = 0; i < 20; ++i) {
    GSOSoup* up = GSOSoup::Create(context_.get(), Soup(), false);
    ASSERT_NE(up, nullptr);
    Keep(up->GetScriptInstance());
    Call(up, &GSOSoup::SetNamedSoup, {Text("a"), level->GetScriptInstance()});
    Call(up, &GSOSoup::SetNamedSoup, {Text("b"), level->GetScriptInstance()});
    level = up;
  }
  EXPECT_LT(Meter().Live(), 64 * 1024u);
  GSOSoup* copy = GSOSoup::Create(context_.get(), Soup(), false);
  ASSERT_NE(copy, nullptr);
  Keep(copy->GetScriptInstance());
  Call(copy, &GSOSoup::Copy, {level->GetScriptInstance()});
  EXPECT_EQ(print_.Count("Soup.Copy> soup too large"), 1u);
  EXPECT_EQ(copy->GetSoup().CountTags(), 0u);
}

TEST_F(NativeMemoryBoundTest, RouterTypesStopAtTheBound) {
  Meter().SetLimit(kMiB);
  auto* router = new GSRouter;
  context_->InstallRouter(router);
  const std::string long64k(64 * 1024, 'm');
  std::vector<uint16_t> types;
  for (char tag = 'a'; tag <= 'z'; ++tag)
    types.push_back(router->InternMajorType((long64k + tag).c_str()));
  size_t taken = 0;
  while (taken < types.size() && types[taken] != GSRouter::kRefusedType) ++taken;
  EXPECT_GE(taken, 5u);
  EXPECT_LT(taken, types.size());
  for (size_t i = taken; i < types.size(); ++i) EXPECT_EQ(types[i], GSRouter::kRefusedType);
  // Known types still resolve, and short ones still fit.
  EXPECT_EQ(router->InternMajorType((long64k + 'a').c_str()), types[0]);
  EXPECT_NE(router->InternMajorType("short"), GSRouter::kRefusedType);
  EXPECT_LE(Meter().Live(), Meter().Limit());
}

TEST_F(NativeMemoryBoundTest, SecurityTokensStopAtTheBound) {
  ASSERT_NE(gSecurityTokenScriptClass, nullptr);
  Meter().SetLimit(4 * kMiB);
  GSRuntime::GSArray* rights = GSRuntime::GSArray::Create(nullptr, true);
  ASSERT_NE(rights, nullptr);
  Keep(rights->GetScriptInstance());
  for (int32_t i = 0; i < 1000; ++i) {
    const GSValue right = Text(std::to_string(i) + std::string(1024, 'r'));
    ASSERT_TRUE(GSRuntime::GSArray::SetElement(*rights, i, right, true, nullptr));
  }
  int made = 0;
  for (int i = 0; i < 10; ++i) {
    GSOSecurityToken* token = GSOSecurityToken::Issue(
        context_.get(), TokenIssuer{NewTokenIssuerId(), KUID{1, 1, 0}}, KUID{2, 2, 0}, rights);
    if (token == nullptr) continue;
    ++made;
    Keep(token->GetScriptInstance());
  }
  EXPECT_EQ(made, 3);
  EXPECT_EQ(print_.Count("SecurityToken> token too large"), 7u);
  EXPECT_LE(Meter().Live(), Meter().Limit());
}

}  // namespace
