#include "gsnative/FetcheryRecord.h"

bool FetcheryRecordList::HasLatestVersion(const KUID& latestVersion) {
  return !FindIf([&](const FetcheryRecord& record) {
            return record.latestVersion == latestVersion;
          }).AtEnd();
}
