// The compiled standard script libraries declare every native that the
// native classes bind, by exactly the signature they are bound by, and no
// native besides; each library loads, printing nothing but the natives it
// cannot bind yet.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "RuntimeTestSupport.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSMachine.h"
#include "kiv/File.h"

namespace {

struct Declared {
  const char* signature;
  bool native;  // false: a script function that the program calls
};

// Every bound signature of the native classes, by class.
const Declared kDeclared[] = {
    {"$string@GSObject::GetGSClassName()", true},
    {"$void@GameObject::SendMessage(GameObject,string,string)", true},
    {"$void@GameObject::SendMessage(GameObject,string,string,GSObject)", true},
    {"$void@GameObject::PostMessage(GameObject,string,string,float)", true},
    {"$void@GameObject::PostMessage(GameObject,string,string,GSObject,float)", true},
    {"$void@GameObject::ClearMessages(string,string)", true},
    {"$void@GameObject::AddHandler(GameObject,string,string,string)", true},
    {"$void@GameObject::Sniff(GameObject,string,string,bool)", true},
    {"$void@GameObject::Sleep(float)", true},
    {"$int@GameObject::GetId()", true},
    {"$string@GameObject::GetName()", true},
    {"$void@GameObject::Exception(string)", true},
    {"$GameObject@Router::GetGameObject(int)", true},
    {"$GameObject@Router::GetForeignGameObject(int)", true},
    {"$GameObject@Router::GetGameObject(string)", true},
    {"$void@Router::Info()", true},
    {"$void@Router::PostMessage(int,int,string,string,float)", true},
    {"$void@Str::TrimLeft(string,string)", true},
    {"$void@Str::TrimRight(string,string)", true},
    {"$int@Str::ToInt(string)", true},
    {"$float@Str::ToFloat(string)", true},
    {"$void@Str::ToUpper(string)", true},
    {"$void@Str::ToLower(string)", true},
    {"$string[]@Str::Tokens(string,string)", true},
    {"$int@Str::UnpackInt(string)", true},
    {"$float@Str::UnpackFloat(string)", true},
    {"$string@Str::UnpackString(string)", true},
    {"$int@Str::Find(string,string,int)", true},
    {"$float@Math::Rand(float,float)", true},
    {"$int@Math::Rand(int,int)", true},
    {"$float@Math::Sqrt(float)", true},
    {"$void@Library::AddSystemMenuIcon(Asset,string,string)", true},
    {"$void@Library::AddSystemMenuIcon(Asset,string,string,bool)", true},
    {"$void@Library::RemoveSystemMenuIcon()", true},
    {"$void@Library::BlinkSystemMenuIcon(int)", true},
    {"$void@Library::ShowSystemMenuIconMenu(Menu)", true},
    {"$void@Image::Clear(int,int)", true},
    {"$void@Image::Resize(int,int,bool)", true},
    {"$int@Image::GetWidth()", true},
    {"$int@Image::GetHeight()", true},
    {"$void@Image::SetLineColor(float,float,float,float)", true},
    {"$void@Image::SetFillColor(float,float,float,float)", true},
    {"$void@Image::DrawPoint(int,int)", true},
    {"$void@Image::DrawRect(int,int,int,int)", true},
    {"$void@Image::DrawLine(int,int,int,int)", true},
    {"$void@Image::DrawCircle(int,int,int)", true},
    {"$void@Image::DrawTriangle(int,int,int,int,int,int)", true},
    {"$void@Image::DrawImage(int,int,Image)", true},
    {"$void@Image::DrawImage(int,int,int,int,Image)", true},
    {"$void@Image::DrawImage(int,int,int,int,Image,int,int,int,int)", true},
    {"$void@Image::SetTextFont(string,int)", true},
    {"$int@Image::MeasureTextWidth(string)", true},
    {"$void@Image::DrawText(int,int,string)", true},
    {"$Soup@Image::ExportImage()", true},
    {"$void@Image::ImportImage(Soup)", true},
    {"$void@OnlineAccess::Connect()", true},
    {"$int@OnlineAccess::GetStatus()", true},
    {"$void@OnlineAccess::Disconnect()", true},
    {"$string@OnlineAccess::GetUsername()", true},
    {"$int@OnlineAccess::GetLocalData(string,Soup)", true},
    {"$int@OnlineAccess::SetLocalData(string,Soup)", true},
    {"$int@OnlineAccess::GetProfileData(string,Soup)", true},
    {"$int@OnlineAccess::SetProfileData(string,Soup)", true},
    {"$int@OnlineAccess::PostMessage(string,Soup)", true},
    {"$int@OnlineAccess::CollectMessage(string,Soup)", true},
    {"$OnlineGroup@OnlineAccess::CreateGroup(int)", true},
    {"$OnlineGroup@OnlineAccess::OpenGroup(string,int)", true},
    {"$int@OnlineAccess::PostOfflineMessage(Soup)", true},
    {"$int@OnlineAccess::CollectOfflineMessage(Soup)", true},
    {"$void@OnlineGroup::Connect()", true},
    {"$int@OnlineGroup::GetStatus()", true},
    {"$void@OnlineGroup::Disconnect()", true},
    {"$string@OnlineGroup::GetOnlineGroupCookie()", true},
    {"$void@OnlineGroup::AddUser(string)", true},
    {"$void@OnlineGroup::RemoveUser(string)", true},
    {"$int@OnlineGroup::CountUsers()", true},
    {"$string@OnlineGroup::GetIndexedUser(int)", true},
    {"$int@OnlineGroup::FindUser(string)", true},
    {"$int@OnlineGroup::GetUserStatus(int)", true},
    {"$int@OnlineGroup::PostMessage(Soup)", true},
    {"$int@OnlineGroup::CollectMessage(string,Soup)", true},
    {"$void@OnlineGroup::SetModeFlags(int,int)", true},
    {"$void@OnlineGroup::SetUserModeFlags(string,int,int)", true},
    {"$int@OnlineGroup::GetUserModeFlags(string)", true},
    {"$float@VandruScriptBase::GetSeconds()", true},
    {"$float@VandruScriptBase::GetNormalizedSystemTime()", true},
    {"$int@VandruScriptBase::GetSystemYear()", true},
    {"$int@VandruScriptBase::GetSystemMonth()", true},
    {"$int@VandruScriptBase::GetSystemDate()", true},
    {"$int@VandruScriptBase::GetSystemHour()", true},
    {"$int@VandruScriptBase::GetSystemMinute()", true},
    {"$int@VandruScriptBase::GetSystemSecond()", true},
    {"$Library@VandruScriptBase::GetLibrary(KUID)", true},
    {"$Asset@VandruScriptBase::FindAsset(KUID)", true},
    {"$Asset[]@VandruScriptBase::GetAssetList(string)", true},
    {"$Asset[]@VandruScriptBase::GetAssetList(string,string)", true},
    {"$KUID[]@VandruScriptBase::SearchAssets(string,bool)", true},
    {"$Asset[]@VandruScriptBase::FindUpdatedAssets()", true},
    {"$Soup@VandruScriptBase::VandruSystemCall(string,Soup)", true},
    {"$bool@VandruScriptBase::OpenURL(string)", true},
    {"$void@VandruScriptBase::Log(string)", true},
    {"$float@VandruScriptBase::GetVandruVersion()", true},
    {"$int@VandruScriptBase::GetVandruBuild()", true},
    {"$KUID@VandruScriptBase::CloneKUID(KUID)", true},
    {"$SecurityToken@VandruGameObject::IssueSecurityToken(KUID,string[])", true},
    {"$SecurityToken@VandruGameObject::IssueSecurityToken(SecurityToken,KUID,string[])", true},
    {"$SecurityToken@VandruGameObject::MergeSecurityTokens(SecurityToken[])", true},
    {"$bool@VandruGameObject::Validate(SecurityToken,VandruGameObject,string)", true},
    {"$bool@VandruGameObject::Validate(SecurityToken,KUID,string)", true},
    {"$OnlineAccess@Library::GetOnlineAccess()", true},
    {"$string@Library::LibraryCallNative(string,string[],GSObject[])", true},
    {"$int@Soup::CountTags()", true},
    {"$string@Soup::GetNamedTag(string)", true},
    {"$Soup@Soup::GetNamedSoup(string)", true},
    {"$Soup@Soup::GetNamedSoupAdd(string)", true},
    {"$string@Soup::GetIndexedTagName(int)", true},
    {"$int@Soup::GetIndexForNamedTag(string)", true},
    {"$KUID@Soup::GetNamedTagAsKUID(string)", true},
    {"$int@Soup::GetNamedTagAsInt(string)", true},
    {"$int@Soup::GetNamedTagAsInt(string,int)", true},
    {"$float@Soup::GetNamedTagAsFloat(string)", true},
    {"$float@Soup::GetNamedTagAsFloat(string,float)", true},
    {"$void@Soup::SetNamedTag(string,string)", true},
    {"$void@Soup::SetNamedTag(string,float)", true},
    {"$void@Soup::SetNamedTag(string,int)", true},
    {"$void@Soup::SetNamedTag(string,KUID)", true},
    {"$void@Soup::SetNamedSoup(string,Soup)", true},
    {"$void@Soup::RemoveNamedTag(string)", true},
    {"$void@Soup::Copy(Soup)", true},
    {"$void@Soup::Clear()", true},
    {"$bool@Soup::IsLocked()", true},
    {"$Soup@Soup::GetLockedReference()", true},
    {"$void@Soup::AddUniqueNamedSoup(Soup)", true},
    {"$void@Soup::Log()", true},
    {"$string@KUID::GetName()", true},
    {"$string@KUID::GetHTMLString()", true},
    {"$string@KUID::GetLogString()", true},
    {"$string@KUID::GetBaseString()", true},
    {"$KUID@KUID::GetBaseKUID()", true},
    {"$int@KUIDList::CountKUIDs()", true},
    {"$void@KUIDList::AddKUID(KUID)", true},
    {"$void@KUIDList::RemoveKUID(KUID)", true},
    {"$bool@KUIDList::HasKUID(KUID)", true},
    {"$KUID@KUIDList::GetIndexedKUID(int)", true},
    {"$void@KUIDList::Copy(KUIDList)", true},
    {"$void@KUIDList::Clear()", true},
    {"$bool@KUIDList::IsLocked()", true},
    {"$string@StringTable::GetLanguage()", true},
    {"$void@StringTable::ClearParams()", true},
    {"$void@StringTable::SetParam(int,string)", true},
    {"$string@StringTable::GetString(string)", true},
    {"$void@HTMLBuffer::Clear()", true},
    {"$bool@HTMLBuffer::IsEmpty()", true},
    {"$string@HTMLBuffer::AsString()", true},
    {"$void@HTMLBuffer::Print(string)", true},
    {"$void@HTMLBuffer::Escape(string)", true},
    {"$HTMLBuffer@HTMLBufferStatic::Construct()", true},
    {"$KUID@Asset::GetKUID()", true},
    {"$string@Asset::GetLocalisedName()", true},
    {"$string@Asset::GetLocalisedDescription()", true},
    {"$string@Asset::GetCreatorName()", true},
    {"$KUID@Asset::LookupKUIDTable(string)", true},
    {"$Asset@Asset::FindAsset(string)", true},
    {"$StringTable@Asset::GetStringTable()", true},
    {"$Soup@Asset::GetConfigSoup()", true},
    {"$KUIDList@Asset::GetDependencyList()", true},
    {"$bool@Asset::SupportsVandruBuildVersion(float)", true},
    {"$Image@Asset::LoadImage(string)", true},
    {"$bool@Asset::IsLocallyModified()", true},
    {"$string@Asset::GetInfoURL()", true},
    {"$bool@Asset::GetIsFavorite()", true},
    {"$void@Asset::SetIsFavorite(bool)", true},
    {"$Asset@Asset::GetParent()", true},
    {"$string@Asset::GetCategoryEra()", true},
    {"$string@Asset::GetCategoryRegion()", true},
    {"$Soup@Asset::GetSessionRuleData(string)", true},
    {"$bool@Asset::IsBuiltIn()", true},
    {"$bool@Asset::IsOnTheFetchery()", true},
    {"$bool@SecurityToken::IsOwnerLocallyModified()", true},
    {"$void@LinkedList::SortInternal(LinkedData[])", true},
    {"$void@LinkedList::AddInternal(LinkedData[],LinkedData,bool)", true},
    {"$Soup@ConstructorsBase::NewSoup()", true},
    {"$KUIDList@ConstructorsBase::NewKUIDList()", true},
    {"$Image@ConstructorsBase::NewImage()", true},
    {"$void@PropertyObject::SetProperties(Soup)", false},
    {"$Soup@PropertyObject::GetProperties()", false},
};

// Classes whose declarations come with sources of their own; their rows
// are checked once a library declares one of their natives.
const std::set<std::string> kDeclaredWithTheirClasses = {"Router", "LinkedList",
                                                         "VandruGameObject"};

std::string ClassOf(std::string_view signature) {
  const size_t at = signature.find('@');
  return std::string(signature.substr(at + 1, signature.find("::") - at - 1));
}

TEST(ScriptLibrarySignaturesTest, LibrariesDeclareExactlyTheBoundSignatures) {
  GSTest::PrintCapture print;
  GSMachine machine;
  machine.Init();
  const Kiv::PString root("signaturetest");
  Kiv::File::Subst(root, VU_SCRIPT_LIBRARIES_DIR);
  machine.AddLibraryFolder(root);

  std::map<std::string, bool> found;  // signature -> native
  for (const auto& entry : std::filesystem::directory_iterator(VU_SCRIPT_LIBRARIES_DIR)) {
    const std::string name = entry.path().filename().string();
    GSRuntime::GSLibrary* library = machine.FindLibraryByName(name);
    ASSERT_NE(library, nullptr) << name;
    for (const GSRuntime::GSClass& cls : library->Classes())
      for (const GSRuntime::GSFunction& function : cls.functions)
        if (function.name[0] == '$') found[function.name] = function.IsNative();
  }
  Kiv::File::Subst(root, Kiv::String());
  for (const std::string& line : print.lines)
    EXPECT_EQ(line.rfind("Could not resolve native link ", 0), 0u) << line;

  std::set<std::string> declaredClasses;
  for (const auto& [signature, native] : found)
    if (native) declaredClasses.insert(ClassOf(signature));
  std::set<std::string> listed;
  for (const Declared& row : kDeclared) {
    listed.insert(row.signature);
    const std::string cls = ClassOf(row.signature);
    if (kDeclaredWithTheirClasses.count(cls) != 0 && declaredClasses.count(cls) == 0) continue;
    const auto it = found.find(row.signature);
    ASSERT_NE(it, found.end()) << row.signature << " is not declared";
    EXPECT_EQ(it->second, row.native) << row.signature;
  }
  for (const auto& [signature, native] : found) {
    if (native) {
      EXPECT_EQ(listed.count(signature), 1u) << signature << " is bound by nothing";
    }
  }
}

}  // namespace
