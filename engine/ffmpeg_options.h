// The option side of the conversion engine: the dispatcher of named options, the generic
// library-option setter, presets, disc targets and bitstream filters, over the option
// state of one engine. The engine core derives from TFFmpegOptions and overrides the
// hooks at the bottom to give the options a view of its opened files.
//
// Every error is raised as FFmpegException; state changed before the error stays changed.
#pragma once

#include <string>
#include <vector>

#include "engine/ffmpeg_exception.h"
#include "engine/generic_options.h"
#include "engine/option_state.h"

namespace kestrel {

class TFFmpegOptions {
 public:
  TFFmpegOptions();
  virtual ~TFFmpegOptions();
  TFFmpegOptions(const TFFmpegOptions&) = delete;
  TFFmpegOptions& operator=(const TFFmpegOptions&) = delete;

  // Restores every default and fresh generic option contexts (the task reset).
  void ResetOptions();

  // The dispatcher: one of the engine's option names, else SetAVOption (result ignored).
  void SetOption(const std::string& name, const std::string& value);
  // The generic setter: codec options of the video, audio, data, subtitle and attachment
  // contexts (and the pending encoder's private options per type), then the container
  // (and the pending output format's private options), then the scaler, then the name
  // without a leading "a", "v" or "s" in that type's codec options. False when nothing
  // takes the name or the value is refused (logged).
  bool SetAVOption(const std::string& name, const std::string& value);
  // type "vcd", "svcd", "dvd", "dv", "dv50"; norm "pal", "ntsc", "film" or automatic;
  // fallback: the norm used when automatic detection cannot decide.
  void SetTarget(const std::string& type, const std::string& norm, const std::string& fallback);
  // kind "apre", "vpre", "spre" or "fpre".
  void LoadPreset(const std::string& kind, const std::string& value);
  // kind "vbsf", "absf"; anything else means subtitles.
  void AddBitstreamFilter(const std::string& kind, const std::string& value);

  // The engine's option names, in table order.
  static std::vector<std::string> OptionNames();

  // Read-only view of the pending state and of what the generic setter accepted.
  const TOptionState& Options() const { return state_; }
  const std::vector<std::string>& AcceptedNames() const { return generic_.AcceptedNames(); }
  const TOptionValues& CodecOptionValues(AVMediaType type) const {
    return generic_.CodecValues(type);
  }
  const TOptionValues& FormatOptionValues() const { return generic_.FormatValues(); }
  const TOptionValues& ScalerOptionValues() const { return generic_.ScalerValues(); }
  const TGenericOptions& GenericOptions() const { return generic_; }

 protected:
  // The core consumes and resets pending state while opening files and streams.
  TOptionState& MutableOptions() { return state_; }

  // Frame rates of the video streams of the opened inputs, in file and stream order
  // (norm detection of the disc targets).
  virtual std::vector<AVRational> OpenedInputVideoRates() const { return {}; }
  // Number of opened output files ("newvideo" and friends need one).
  virtual int OutputFileCount() const { return 0; }
  // Adds one stream of that kind to the last opened output file.
  virtual void NewStream(AVMediaType type);
  // Loads a frame-hook plug-in with its arguments; 0 on success.
  virtual int AddFrameHook(const std::vector<std::string>& args);
  // Folder of the executable, with a trailing "/" ("vstats" file names).
  virtual std::string ExecutableFolder() const;

 private:
  using THandler = void (*)(TFFmpegOptions& self, const std::string& name,
                            const std::string& value);
  struct TOptionRow {
    const char* name;
    THandler handler;
  };
  static const std::vector<TOptionRow>& OptionTable();

  TPendingNames PendingNames() const;
  void SetCodecName(AVMediaType type, const std::string& value);
  void SetBitrate(const std::string& name, const std::string& value);
  void SetCrop(const std::string& name, const std::string& value);
  void SetAspect(const std::string& value);
  void SetMatrix(const std::string& name, const std::string& value);
  void SetTime(const std::string& name, const std::string& value);
  void SetVstats(const std::string& name, const std::string& value);
  void AddHook(const std::string& value);
  void AddStream(AVMediaType type);
  void ApplyPresetText(const std::string& preset_name, const std::string& text);
  void ApplyTargetSettings(const std::string& type, int norm);
  int DetectNorm(const std::string& norm, const std::string& fallback);

  TOptionState state_;
  TGenericOptions generic_;
};

// Frame rates of the video streams of an opened input, for OpenedInputVideoRates.
std::vector<AVRational> VideoFrameRatesOf(const AVFormatContext* input);

}  // namespace kestrel
