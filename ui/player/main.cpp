// kestrel-player FILE [--stats]: plays a file in a window, to try the player as a user
// would. With --stats it closes at the end of the file and prints the pictures shown and
// dropped and the largest audio/video clock difference seen.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <string>

#include "player/custom_player.h"
#include "ui/player/player_window.h"
#include "ui/player/qt_main_thread.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::string file;
  bool stats = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--stats") == 0) {
      stats = true;
    } else {
      file = argv[i];
    }
  }
  if (file.empty()) {
    std::fprintf(stderr, "usage: kestrel-player FILE [--stats]\n");
    return 2;
  }
  kestrel::QtMainThread dispatcher;
  kestrel::SetMainThreadDispatcher(&dispatcher);
  int result = 0;
  {
    kestrel::TMediaPlayer player;
    const std::string libraries = QCoreApplication::applicationDirPath().toStdString() + "/LibAV";
    if (!player.LoadLibraries(libraries)) {
      std::fprintf(stderr, "%s\n", player.LastErrMsg().c_str());
      kestrel::SetMainThreadDispatcher(nullptr);
      return 1;
    }
    kestrel::PlayerWindow window(player, stats);
    window.show();
    if (!window.Play(file)) {
      std::fprintf(stderr, "%s\n", player.LastErrMsg().c_str());
      result = 1;
    } else {
      result = app.exec();
      player.Stop(true);
      if (stats) {
        const kestrel::TPlaybackStats figures = player.Stats();
        std::printf("pictures shown: %lld\npictures dropped: %lld\n",
                    static_cast<long long>(figures.PicturesShown),
                    static_cast<long long>(figures.PicturesDropped));
        if (figures.MaxAVDifference >= 0) {
          std::printf("largest audio/video difference: %.1f ms\n", figures.MaxAVDifference * 1000);
          std::printf("pictures more than %.0f ms off: %lld of %lld\n",
                      kestrel::kSyncTolerance * 1000,
                      static_cast<long long>(figures.PicturesOutOfSync),
                      static_cast<long long>(figures.PicturesMeasured));
        } else {
          std::printf("largest audio/video difference: not measured\n");
        }
      }
    }
  }
  kestrel::SetMainThreadDispatcher(nullptr);
  return result;
}
