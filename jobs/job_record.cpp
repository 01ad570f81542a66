#include "jobs/job_record.h"

namespace kestrel::jobs {

TItemEffects ItemEffectsOf(const TlvFilesRecord& r) {
  TItemEffects fx;
  fx.WaterText = r.WaterText;
  fx.WaterFont = r.WaterFont;
  fx.TextX = r.TextX;
  fx.TextY = r.TextY;
  fx.TextHoriz = r.TextHoriz;
  fx.TextVert = r.TextVert;
  fx.WaterImage = r.WaterImage;
  fx.ImageX = r.ImageX;
  fx.ImageY = r.ImageY;
  fx.ImageHoriz = r.ImageHoriz;
  fx.ImageVert = r.ImageVert;
  fx.ImageAlpha = r.ImageAlpha;
  fx.TransparentStyle = r.TransparentStyle;
  fx.Brightness = r.Brightness;
  fx.Contrast = r.Contrast;
  fx.Saturation = r.Saturation;
  fx.Exposure = r.Exposure;
  fx.ProcessText = r.ProcessText;
  fx.ProcessImage = r.ProcessImage;
  fx.CropTop = r.CropTop;
  fx.CropLeft = r.CropLeft;
  fx.CropBottom = r.CropBottom;
  fx.CropRight = r.CropRight;
  return fx;
}

bool HasNoEffects(const TlvFilesRecord& r) {
  return r.WaterText.empty() && r.WaterImage.empty() && r.Brightness == 255 && r.Contrast == 0 &&
         r.Saturation == 255 && r.Exposure == 0;
}

}  // namespace kestrel::jobs
