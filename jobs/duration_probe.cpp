#include "jobs/duration_probe.h"

#include "medialib/library_loader.h"
#include "probe/av_probe.h"

namespace kestrel::jobs {

TProbeResult ProbeDurationWithAVProbe(const std::string& file_name) {
  TProbeResult result;
  if (!LibsLoaded(kProbeLibs) && !LoadLibs(kProbeLibs)) {
    result.error = LastError();
    return result;
  }
  TAVProbe probe;
  if (!probe.LoadFile(file_name)) {
    result.error = probe.LastErrMsg();
    return result;
  }
  TFileStreamInfo info;
  probe.GetFileStreamInfo(info);
  probe.CloseFile();
  result.ok = true;
  result.duration_us = info.Duration;
  return result;
}

}  // namespace kestrel::jobs
