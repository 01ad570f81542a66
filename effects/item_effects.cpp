#include "effects/item_effects.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

#include "effects/color_adjust.h"
#include "effects/crop_frame.h"
#include "effects/image_mark.h"
#include "effects/text_mark.h"

namespace kestrel {
namespace {

// The watermark preview places a mark at trunc(size * (percent / 100.0)).
std::int32_t FromPercent(int size, std::int32_t percent) {
  const double x = std::trunc(size * (percent / 100.0));
  return static_cast<std::int32_t>(std::clamp(x, -2147483648.0, 2147483647.0));
}

TMarkPositions PositionsFor(const TBgrFrame& frame, const TItemEffects& fx, TRenderForm form) {
  if (form != TRenderForm::WatermarkPreview) return {fx.TextX, fx.TextY, fx.ImageX, fx.ImageY};
  return {FromPercent(frame.width, fx.TextHoriz), FromPercent(frame.height, fx.TextVert),
          FromPercent(frame.width, fx.ImageHoriz), FromPercent(frame.height, fx.ImageVert)};
}

std::shared_ptr<const TBgrImage> ReadMark(const std::string& path, TMarkImageCache* cache) {
  if (path.empty()) return nullptr;
  if (cache != nullptr) return cache->Get(path);
  return std::make_shared<const TBgrImage>(LoadMarkImage(path));
}

enum class TStep { Text, Image, Color };

// Step order by (ProcessText, ProcessImage): a flagged mark goes before the colour step.
const TStep* StepOrder(bool process_text, bool process_image) {
  static constexpr TStep kOrders[4][3] = {
      {TStep::Color, TStep::Text, TStep::Image},  // neither
      {TStep::Image, TStep::Color, TStep::Text},  // image only
      {TStep::Text, TStep::Color, TStep::Image},  // text only
      {TStep::Text, TStep::Image, TStep::Color},  // both
  };
  return kOrders[(process_text ? 2 : 0) + (process_image ? 1 : 0)];
}

}  // namespace

bool IsNeutralColor(const TItemEffects& fx) {
  return fx.Brightness == 255 && fx.Contrast == 0 && fx.Saturation == 255;
}

TMarkPositions RenderItemEffects(const TBgrFrame& frame, const TItemEffects& fx, TRenderForm form,
                                 const TRenderOptions& options) {
  std::unique_lock<std::recursive_mutex> lock;
  if (options.SurfaceLock != nullptr) lock = std::unique_lock(*options.SurfaceLock);
  CheckFrame(frame, "RenderItemEffects");
  const TMarkPositions at = PositionsFor(frame, fx, form);
  if (frame.Empty()) return at;
  // Read the mark before any pixel changes: a file that cannot be read ends this
  // composition with the frame untouched.
  const std::shared_ptr<const TBgrImage> mark = ReadMark(fx.WaterImage, options.MarkCache);
  if (!fx.WaterText.empty()) CheckTextMarkSupport();

  for (int i = 0; i < 3; ++i) {
    switch (StepOrder(fx.ProcessText, fx.ProcessImage)[i]) {
      case TStep::Text:
        if (!fx.WaterText.empty())
          DrawTextMark(frame, fx.WaterText, fx.WaterFont, at.TextX, at.TextY);
        break;
      case TStep::Image:
        if (mark) {
          BlendImageMark(frame, mark->View(), at.ImageX, at.ImageY, fx.ImageAlpha,
                         fx.TransparentStyle);
        }
        break;
      case TStep::Color:
        if (!IsNeutralColor(fx)) ApplyColorAdjust(frame, fx.Brightness, fx.Contrast, fx.Saturation);
        if (fx.Exposure != 0) ApplyExposure(frame, static_cast<float>(fx.Exposure));
        break;
    }
  }
  if (form == TRenderForm::RecordPreview) {
    DrawCropFrame(frame, fx.CropTop, fx.CropLeft, fx.CropBottom, fx.CropRight,
                  TCropFrameForm::Outer);
  } else if (form == TRenderForm::WatermarkPreview) {
    DrawCropFrame(frame, fx.CropTop, fx.CropLeft, fx.CropBottom, fx.CropRight,
                  TCropFrameForm::Inset);
  }
  return at;
}

}  // namespace kestrel
