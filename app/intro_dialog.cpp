#include "intro_dialog.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "application.h"
#include "main_window.h"
#include "platform.h"
#include "res/resource_ids.h"
#include "res/toolbar_art.h"
#include "scene/scene_state.h"

namespace id = kestrova::ids;

namespace {

QPushButton* button(QWidget* parent, int buttonId, const char* caption, QRect where) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString::number(buttonId));
  b->setAccessibleName(caption);
  b->setAutoDefault(false);
  b->setGeometry(where);
  return b;
}

}  // namespace

IntroDialog::IntroDialog(Application& app, IntroHost& host, QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint), app_(app), host_(host) {
  setObjectName(QString::number(id::kIntroDialog));
  setWindowTitle("Go to Product Website for this Animation!");
  setAccessibleName("Go to Product Website for this Animation!");
  setModal(false);
  resize(360, 300);

  auto* group = new QGroupBox(this);
  group->setGeometry(8, 4, 344, 288);
  auto* link = button(this, id::kIntroProductLink, "Click Here for Information on this Product", {20, 16, 320, 30});
  auto* picture = new QLabel(this);
  picture->setPixmap(QPixmap::fromImage(kestrova::AboutArtwork(320, 120)));
  picture->setGeometry(20, 54, 320, 120);
  picture->setAccessibleName("Kestrova artwork");
  auto* wait = new QLabel("Please wait for the animation to finish, then click", this);
  wait->setGeometry(20, 180, 320, 20);
  wait->setAlignment(Qt::AlignCenter);
  auto* choices = new QLabel("\"Start Kestrova\" or \"Next Sequence.\"", this);
  choices->setGeometry(20, 200, 320, 20);
  choices->setAlignment(Qt::AlignCenter);
  auto* next = button(this, id::kIntroNextSequence, "Next Sequence", {20, 240, 150, 34});
  start_ = button(this, id::kIntroStartButton, "Start Kestrova", {190, 240, 150, 34});
  auto* top = button(this, id::kIntroGotoTop, "Goto Top", {20, 280, 100, 10});
  top->hide();
  top->setEnabled(false);

  // The dialog's initialisation: Start waits for the sample's end.
  start_->setEnabled(false);
  if (auto* main = qobject_cast<MainWindow*>(mainWindow)) {
    main->showStatusText("Please wait for the Animation to finish, then Click the Start Kestrova button");
  }
  link_ = link;
  connect(link, &QPushButton::clicked, this, &IntroDialog::OnProductLink);
  connect(next, &QPushButton::clicked, this, &IntroDialog::OnNextSequence);
  connect(start_, &QPushButton::clicked, this, &IntroDialog::OnStart);
}

void IntroDialog::enableStart() {
  start_->setEnabled(true);
  // Enter starts the program once it can, rather than opening the product
  // link that held the focus until then.
  start_->setFocus(Qt::OtherFocusReason);
}

void IntroDialog::OnNextSequence() {
  kestrova::SceneState& scene = host_.scene();
  scene.currentFrame = 0;
  scene.sequenceIndex += 1;
  // Past the listed files there is nothing to play: back to the first.
  if (scene.sequenceIndex < 1 || scene.sequenceIndex > scene.sequenceCount) scene.sequenceIndex = 1;
  const std::string name = scene.sequenceNames[static_cast<size_t>(scene.sequenceIndex)];
  host_.playSample(scene.sequenceIndex);
  if (name == kestrova::kEndMarker) scene.sequenceIndex = 0;
}

void IntroDialog::OnProductLink() {
  const std::string& link = host_.scene().websiteLink();
  if (!kestrova::IsWebAddress(link)) return;  // a link from a file is never run as a command
  app_.platform().openUrl(link);
}

void IntroDialog::OnStart() {
  if (started_) return;
  started_ = true;
  hide();
  host_.startShot();
}

void IntroDialog::reject() { OnStart(); }

void IntroDialog::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // A focused button takes Enter as it takes Space; elsewhere Enter
      // puts the intro away like Start.
      // The product link opens with Space or a click only: Enter, pressed to
      // get going, must never open a web page.
      if (auto* focused = qobject_cast<QPushButton*>(focusWidget());
          focused && focused->isEnabled() && focused != link_) {
        focused->click();
      } else {
        OnStart();
      }
      return;
    case Qt::Key_Escape:
      reject();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}
