// Finding the spec of an asset by KUID, from the spec registry or, through
// the asset-database daemon, from the asset's folder.
//
// LoadSpecFromPath: reads the configuration in `folder` ("config.chump"
// before "config.txt"); no soup, or one without any tag, gives null. The
// folder's last component is the folder name and the rest, without
// trailing slashes, its parent; SpecRegistry::CreateSpec makes and
// registers the spec (with `contentSet` as its content set). An accept
// test that rejects it gives null; unless `skipValidation`,
// SpecRegistry::Discard validates it and a spec that is not valid (kSpecValid
// clear, or kSpecNullKUID set) gives null. Otherwise the spec, held once by
// the answer. Without a spec registry the answer is null.
//
// GetSpecForKUID: the null KUID gives null, and so does, without asking the
// daemon, a KUID that requests cannot carry as it is (KUIDReadsBack fails:
// a user id beyond -16777216..16777215, as a script include table may name
// one as text), which would reach the daemon as another asset's KUID: it
// names no installed asset. Otherwise the KUID is looked up in the
// remembered answers (a remembered null KUID gives null at once; a
// remembered KUID is used in its place); else the daemon resolves it
// (request 0x1A). A registered spec of the resolved KUID is answered when
// the accept test takes it and it validates; a rejected one gives null and
// remembers the resolved KUID (so a later ask with another test finds it),
// an invalid one remembers the failure. Without a registered spec the
// daemon names the asset's folder (request 0x17): an empty folder remembers
// the failure; otherwise LoadSpecFromPath, and a spec is answered and the
// resolved KUID remembered; a folder that fails to load remembers nothing.
//
// Folders from the daemon: an absolute path is used as given; a relative
// one is taken below the content location the daemon names, and must stay
// inside it (see Kiv::File::ResolveRooted); one that cannot be placed is a
// folder that fails to load.
//
// Failures are remembered only when the daemon answered: a request that
// fails because the daemon cannot be reached remembers nothing, so the
// asset is asked for again once the daemon is back. Nothing is logged.
//
// VADSpecAssetSource is the registry's view of the daemon (the display name
// of an asset through request 0x15, mask 1). InstallVADSpecAssetSource
// installs the process's one source (the client calls it when it opens);
// RemoveVADSpecAssetSource removes it again (after the registry is gone).
//
// Threads: the remembered answers are guarded by a lock of their own;
// nothing is held while the daemon is asked or a spec is made.
#pragma once

#include "foundation/spec/SpecAssetSource.h"
#include "foundation/spec/SpecRef.h"
#include "foundation/text/KUID.h"
#include "kiv/PString.h"
#include "kiv/String.h"

using SpecAcceptTest = bool (*)(const BrindlemoxSpec& spec);

SpecRef LoadSpecFromPath(SpecRef& out, const KUID& kuid, const Kiv::String& folder,
                         SpecAcceptTest accept, bool skipValidation,
                         const Kiv::PString& contentSet = Kiv::PString());
SpecRef GetSpecForKUID(SpecRef& out, const KUID& kuid, SpecAcceptTest accept);

// Forgets every remembered answer. The answers hold only while nothing is
// installed or deleted: a command host forgets them at the start of each
// job (cli/CommandHost.h), tests between cases.
void ForgetRememberedSpecAnswers();

class VADSpecAssetSource : public SpecAssetSource {
 public:
  Kiv::String GetAssetName(const KUID& asset) override;
};

void InstallVADSpecAssetSource();
void RemoveVADSpecAssetSource();
