// QSoundEffect loads and plays on its own; play() while loading plays once loaded.
#include "desktop/gui/qt_sound_player.h"

#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

namespace postvane {

QtSoundPlayer::QtSoundPlayer() = default;
QtSoundPlayer::~QtSoundPlayer() = default;

void QtSoundPlayer::PlayAsync(const std::string& wavFile) {
  const QString path = QString::fromStdString(wavFile);
  // No fallback sound: a name that is no readable file is silence.
  const QFileInfo info(path);
  if (path.isEmpty() || !info.isFile() || !info.isReadable()) return;
  if (!effect_) effect_ = std::make_unique<QSoundEffect>();
  const QUrl source = QUrl::fromLocalFile(info.absoluteFilePath());
  if (effect_->source() != source) {
    effect_->stop();
    effect_->setSource(source);
  }
  ++playRequests_;
  effect_->play();
}

}  // namespace postvane
