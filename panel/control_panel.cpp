#include "control_panel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <algorithm>
#include <vector>

#include "panel/panel_host.h"
#include "panel/timeline_slider.h"
#include "animation/keyframes.h"
#include "res/resource_ids.h"
#include "scene/product_styles.h"
#include "scene/scene_edits.h"
#include "scene/scene_state.h"

using namespace kestrova;
namespace id = kestrova::ids;

namespace {

enum class Kind { Group, Label, Combo, Button, Check, Radio, Slider, Edit, ReadOnlyEdit, Spin, Timeline };

struct ControlSpec {
  int id;  // 0: a frame or label without an id
  Kind kind;
  const char* caption;
  int x, y, w, h;  // dialog units
  bool shown;      // hidden controls are disabled too, with working handlers
  const char* name;  // accessible name where the control has no caption
};

// The dialog as the template lays it out, 521 by 110 dialog units. The
// keyframe, preset, web-link and product-mode controls are present but
// hidden.
constexpr ControlSpec kControls[] = {
    {0, Kind::Group, "", 8, 2, 204, 94, true, "Product"},
    {0, Kind::Group, "Movement Controls", 218, 2, 296, 94, true, nullptr},
    {id::kPanelImagesLabel, Kind::Label, "Load Box Images:", 16, 14, 84, 10, true, nullptr},
    {id::kPanelBoxStyle, Kind::Combo, nullptr, 104, 12, 100, 80, true, "Box style"},
    {id::kPanelBookStyle, Kind::Combo, nullptr, 104, 12, 100, 80, false, "Book style"},
    {id::kPanelFront, Kind::Button, "Front", 16, 30, 60, 14, true, nullptr},
    {id::kPanelBack, Kind::Button, "Back", 80, 30, 60, 14, true, nullptr},
    {id::kPanelRight, Kind::Button, "Right", 144, 30, 60, 14, true, nullptr},
    {id::kPanelBottom, Kind::Button, "Bottom", 16, 48, 60, 14, true, nullptr},
    {id::kPanelSpine, Kind::Button, "Spine", 80, 48, 60, 14, true, nullptr},
    {id::kPanelTop, Kind::Button, "Top", 144, 48, 60, 14, true, nullptr},
    {id::kPanelLighting, Kind::Check, "Lighting", 16, 72, 60, 10, true, nullptr},
    {id::kPanelScreenShot, Kind::Check, "Screen Shot", 80, 72, 70, 10, true, nullptr},
    {id::kPanelBook, Kind::Radio, "Book", 16, 84, 40, 10, false, nullptr},
    {id::kPanelMug, Kind::Radio, "Mug", 60, 84, 40, 10, false, nullptr},
    {id::kPanelBox, Kind::Radio, "Box", 104, 84, 40, 10, false, nullptr},
    {id::kPanelRotate, Kind::Radio, "Rotate", 226, 16, 40, 10, true, nullptr},
    {id::kPanelPanAndZoom, Kind::Radio, "Pan and Zoom", 270, 16, 62, 10, true, nullptr},
    {id::kPanelTextureScroll, Kind::Radio, "Texture Scroll", 336, 16, 64, 10, true, nullptr},
    {id::kPanelSpotLight, Kind::Radio, "Spot Light", 404, 16, 50, 10, true, nullptr},
    {id::kPanelScale, Kind::Radio, "Scale", 458, 16, 40, 10, true, nullptr},
    {id::kPanelSlider1, Kind::Slider, nullptr, 220, 34, 254, 15, true, "Slider 1"},
    {id::kPanelSlider2, Kind::Slider, nullptr, 220, 51, 254, 15, true, "Slider 2"},
    {id::kPanelSlider3, Kind::Slider, nullptr, 220, 69, 254, 15, true, "Slider 3"},
    {id::kPanelEdit1, Kind::Edit, nullptr, 478, 35, 30, 12, true, "Value of slider 1"},
    {id::kPanelEdit2, Kind::Edit, nullptr, 478, 52, 30, 12, true, "Value of slider 2"},
    {id::kPanelEdit3, Kind::Edit, nullptr, 478, 70, 30, 12, true, "Value of slider 3"},
    // Keyframes, presets and the web link: hidden unless the advanced
    // controls are on, which lay them out in a second row.
    {0, Kind::Group, "Animation", 8, 98, 506, 66, false, nullptr},
    {id::kPanelTimeline, Kind::Timeline, nullptr, 14, 108, 494, 20, false, "Timeline"},
    {id::kPanelAddKey, Kind::Button, "+ Add Key", 14, 131, 44, 14, false, nullptr},
    {id::kPanelPlay, Kind::Button, "Play >", 62, 131, 40, 14, false, nullptr},
    {id::kPanelClearAll, Kind::Button, "Clear All", 106, 131, 44, 14, false, nullptr},
    {id::kPanelCopy, Kind::Button, "Copy", 154, 131, 36, 14, false, nullptr},
    {id::kPanelPaste, Kind::Button, "Paste", 194, 131, 36, 14, false, nullptr},
    {0, Kind::Label, "Frame:", 240, 133, 24, 10, false, nullptr},
    {id::kPanelFrame, Kind::ReadOnlyEdit, nullptr, 266, 132, 32, 12, false, "Frame"},
    {0, Kind::Label, "Keys:", 306, 133, 20, 10, false, nullptr},
    {id::kPanelKeys, Kind::ReadOnlyEdit, nullptr, 328, 132, 28, 12, false, "Keys"},
    {0, Kind::Label, "Length:", 364, 133, 28, 10, false, nullptr},
    {id::kPanelAnimationLengthSpin, Kind::Spin, nullptr, 394, 132, 48, 12, false, "Animation length"},
    {id::kPanelPresets, Kind::Combo, nullptr, 14, 148, 150, 80, false, "Presets"},
    {id::kPanelAddToPresets, Kind::Button, "Add to Presets", 168, 147, 60, 14, false, nullptr},
    {id::kPanelWebsiteLink, Kind::Edit, nullptr, 236, 148, 196, 12, false, "Website link"},
    {id::kPanelTestWebsiteLink, Kind::Button, "Test Website Link", 436, 147, 72, 14, false, nullptr},
    // Present for its id; never shown.
    {id::kPanelOk, Kind::Button, "OK", 470, 2, 44, 14, false, nullptr},
};

constexpr const char* kMakerSite = "http://www.kestrova.example/";

// A radio the handlers check and uncheck themselves, as the dialog's radios
// are: a click always checks it (never unchecks), and its group's other
// radios are unchecked by the click handler, not by Qt. It stays
// auto-exclusive, so screen readers call it a radio button; a non-exclusive
// button group keeps Qt from enforcing that.
class DialogRadio : public QRadioButton {
 public:
  using QRadioButton::QRadioButton;

 protected:
  void nextCheckState() override { setChecked(true); }
};

int rowOf(float style, int count) {
  const int row = ShownValue(style);
  return row >= 0 && row < count ? row : 0;
}

}  // namespace

ControlPanel::ControlPanel(SceneState& scene, PanelHost& host, bool advanced, QWidget* parent)
    : QDialog(parent), scene_(scene), host_(host), advanced_(advanced), websiteLinkText_(kMakerSite) {
  setObjectName(QString::number(id::kControlPanelDialog));
  setWindowTitle("Dynamic Controls");
  setAccessibleName("Dynamic Controls");
  setModal(false);
  setSizeGripEnabled(true);
  QFont small = font();
  small.setPointSize(8);
  setFont(small);
  bookStyleIndex_ = rowOf(static_cast<float>(scene_.bookStyle), kBookStyleCount);
  buildControls();
  initialise();
  wireHandlers();
}

ControlPanel::~ControlPanel() {
  if (!closing_) host_.panelClosing();
}

QPoint ControlPanel::dialogUnits(int x, int y) const {
  // Dialog units are a quarter of the average character width and an eighth
  // of the line height of the dialog's font.
  const QFontMetrics metrics(font());
  const double baseX =
      metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 52.0;
  const double baseY = metrics.height();
  return {static_cast<int>(x * baseX / 4.0 + 0.5), static_cast<int>(y * baseY / 8.0 + 0.5)};
}

QWidget* ControlPanel::control(int controlId) const {
  return findChild<QWidget*>(QString::number(controlId));
}

void ControlPanel::buildControls() {
  for (const ControlSpec& entry : kControls) {
    const QString caption = entry.caption ? QString::fromUtf8(entry.caption) : QString();
    QWidget* widget = nullptr;
    switch (entry.kind) {
      case Kind::Group: widget = new QGroupBox(caption, this); break;
      case Kind::Label: widget = new QLabel(caption, this); break;
      case Kind::Combo: widget = new QComboBox(this); break;
      case Kind::Button: {
        auto* button = new QPushButton(caption, this);
        button->setAutoDefault(false);
        widget = button;
        break;
      }
      case Kind::Check: widget = new QCheckBox(caption, this); break;
      case Kind::Radio: {
        auto* radio = new DialogRadio(caption, this);
        radio->setAutoExclusive(true);
        widget = radio;
        break;
      }
      case Kind::Slider: widget = new QSlider(Qt::Horizontal, this); break;
      case Kind::Timeline: widget = new TimelineSlider(this); break;
      case Kind::Edit:
      case Kind::ReadOnlyEdit: {
        auto* edit = new QLineEdit(this);
        if (entry.kind == Kind::Edit && entry.id != id::kPanelWebsiteLink) edit->setAlignment(Qt::AlignCenter);
        edit->setReadOnly(entry.kind == Kind::ReadOnlyEdit);
        widget = edit;
        break;
      }
      case Kind::Spin: {
        auto* spin = new QSpinBox(this);
        // The spin and the edit it drives are one widget here; the edit
        // keeps its own id.
        if (auto* edit = spin->findChild<QLineEdit*>()) {
          edit->setObjectName(QString::number(id::kPanelAnimationLength));
          edit->setAccessibleName("Animation length");
        }
        widget = spin;
        break;
      }
    }
    if (entry.id != 0) widget->setObjectName(QString::number(entry.id));
    widget->setAccessibleName(entry.name ? QString::fromUtf8(entry.name) : caption);
    const QPoint topLeft = dialogUnits(entry.x, entry.y);
    const QPoint size = dialogUnits(entry.w, entry.kind == Kind::Combo ? 14 : entry.h);
    widget->setGeometry(topLeft.x(), topLeft.y(), size.x(), size.y());
    if (!entry.shown && !(advanced_ && entry.id != id::kPanelOk)) {
      widget->hide();
      widget->setEnabled(false);
    }
  }
  for (const auto& members : {std::vector<int>{id::kPanelBook, id::kPanelMug, id::kPanelBox},
                              std::vector<int>{id::kPanelRotate, id::kPanelPanAndZoom, id::kPanelTextureScroll,
                                               id::kPanelSpotLight, id::kPanelScale}}) {
    auto* group = new QButtonGroup(this);
    group->setExclusive(false);
    for (int radio : members) group->addButton(static_cast<QAbstractButton*>(control(radio)));
  }
  sliders_ = {findChild<QSlider*>(QString::number(id::kPanelSlider1)),
              findChild<QSlider*>(QString::number(id::kPanelSlider2)),
              findChild<QSlider*>(QString::number(id::kPanelSlider3))};
  edits_ = {findChild<QLineEdit*>(QString::number(id::kPanelEdit1)),
            findChild<QLineEdit*>(QString::number(id::kPanelEdit2)),
            findChild<QLineEdit*>(QString::number(id::kPanelEdit3))};
  timeline_ = findChild<TimelineSlider*>(QString::number(id::kPanelTimeline));
  frameEdit_ = findChild<QLineEdit*>(QString::number(id::kPanelFrame));
  keysEdit_ = findChild<QLineEdit*>(QString::number(id::kPanelKeys));
  lengthSpin_ = findChild<QSpinBox*>(QString::number(id::kPanelAnimationLengthSpin));
  boxStyles_ = findChild<QComboBox*>(QString::number(id::kPanelBoxStyle));
  bookStyles_ = findChild<QComboBox*>(QString::number(id::kPanelBookStyle));
  presets_ = findChild<QComboBox*>(QString::number(id::kPanelPresets));
  websiteLink_ = findChild<QLineEdit*>(QString::number(id::kPanelWebsiteLink));
  for (const ProductStyle& style : kBoxStyles) boxStyles_->addItem(style.name);
  for (const ProductStyle& style : kBookStyles) bookStyles_->addItem(style.name);
  // Focus follows the dialog's reading order: product area, then movement.
  setTabOrder(boxStyles_, control(id::kPanelFront));

  const QPoint size = dialogUnits(521, advanced_ ? 168 : 110);
  resize(size.x(), size.y());
}

void ControlPanel::initialise() {
  ++programWrites_;
  // The panel opens on what the shot shows: its styles, its product layout,
  // its mode and the values the sliders drive, so opening changes nothing.
  boxStyleIndex_ = rowOf(scene_.boxStyle, kBoxStyleCount);
  boxStyles_->setCurrentIndex(boxStyleIndex_);
  bookStyles_->setCurrentIndex(bookStyleIndex_);
  showShot();
  host_.setStatusText("Kestrova");

  const int lastKey = scene_.keyFrameNumbers[static_cast<size_t>(std::clamp(scene_.keyCount, 0, kKeyCapacity - 1))];
  timeline_->setRange(0, std::min(lastKey == 0 ? 300 : lastKey, kLastFrame));
  frameEdit_->setText(QString::number(timeline_->value()));
  for (int i = 0; i < scene_.sequenceCount && i < kSequenceCapacity; ++i) {
    presets_->addItem(QString::fromStdString(scene_.sequenceNames[static_cast<size_t>(i)]));
  }
  presets_->setCurrentIndex(scene_.selectedPreset < presets_->count() ? scene_.selectedPreset : -1);
  presetIndex_ = presets_->currentIndex();
  lengthSpin_->setRange(1, 10000);
  lengthSpin_->setValue(300);
  RebuildTicks();
  websiteLink_->setText(QString::fromStdString(websiteLinkText_));

  loadSliders(scene_.textureScrollMode < 2.0f || scene_.panelSubMode == 2.0f);
  --programWrites_;
}

void ControlPanel::resetProductArea() {
  for (const ControlSpec& entry : kControls) {
    const bool productArea = entry.id == id::kPanelImagesLabel || entry.id == id::kPanelFront ||
                             entry.id == id::kPanelBack || entry.id == id::kPanelRight ||
                             entry.id == id::kPanelBottom || entry.id == id::kPanelSpine ||
                             entry.id == id::kPanelTop || entry.id == id::kPanelTextureScroll ||
                             entry.id == id::kPanelBoxStyle || entry.id == id::kPanelBookStyle;
    if (!productArea) continue;
    if (entry.caption) setCaption(entry.id, entry.caption);
    setShown(entry.id, entry.shown);
  }
}

void ControlPanel::showShot() {
  ++programWrites_;
  boxStyleIndex_ = rowOf(scene_.boxStyle, kBoxStyleCount);
  boxStyles_->setCurrentIndex(boxStyleIndex_);
  bookStyles_->setCurrentIndex(bookStyleIndex_);
  resetProductArea();
  if (scene_.productKind <= 1.0f) {
    layOutBook();
  } else if (scene_.productKind == kProductMug) {
    layOutMug();
  } else if (scene_.productKind == kProductScreenShot) {
    layOutScreenShot();
  } else {
    layOutBox();
  }
  // The toggles count clicks: they must agree with what the boxes show, or
  // the next click does the opposite of its check mark.
  const bool lit = scene_.lightingMode >= 2.0f;
  setChecked(id::kPanelLighting, lit);
  scene_.lightingToggle = lit ? 1 : 0;
  const bool board = scene_.productKind == kProductScreenShot;
  setChecked(id::kPanelScreenShot, board);
  scene_.screenShotToggle = board ? 1 : 0;
  for (int radio : {id::kPanelRotate, id::kPanelPanAndZoom, id::kPanelTextureScroll, id::kPanelSpotLight,
                    id::kPanelScale}) {
    setChecked(radio, false);
  }
  checkMovementRadioForMode();
  checkProductRadio();
  --programWrites_;
}

void ControlPanel::followShot() {
  bookStyleIndex_ = rowOf(static_cast<float>(scene_.bookStyle), kBookStyleCount);
  showShot();
  loadSliders(scene_.textureScrollMode < 2.0f || scene_.panelSubMode == 2.0f);
}

void ControlPanel::refillPresets() {
  ++programWrites_;
  const QString chosen = presets_->currentText();
  presets_->clear();
  for (int i = 0; i < scene_.sequenceCount && i < kSequenceCapacity; ++i) {
    presets_->addItem(QString::fromStdString(scene_.sequenceNames[static_cast<size_t>(i)]));
  }
  presets_->setCurrentIndex(chosen.isEmpty() ? -1 : presets_->findText(chosen));
  presetIndex_ = presets_->currentIndex();
  --programWrites_;
}

void ControlPanel::wireHandlers() {
  for (int face : {id::kPanelFront, id::kPanelBack, id::kPanelSpine, id::kPanelRight, id::kPanelTop,
                   id::kPanelBottom}) {
    connect(static_cast<QPushButton*>(control(face)), &QPushButton::clicked, this,
            [this, face] { onFaceButton(face); });
  }
  connect(boxStyles_, &QComboBox::activated, this, &ControlPanel::onBoxStyleChanged);
  connect(bookStyles_, &QComboBox::activated, this, &ControlPanel::onBookStyleChanged);

  // Radios: a click checks the radio and unchecks the rest of its group,
  // then the handler runs.
  const std::vector<std::pair<std::vector<int>, std::vector<std::pair<int, void (ControlPanel::*)()>>>> groups = {
      {{id::kPanelBook, id::kPanelMug, id::kPanelBox},
       {{id::kPanelBook, &ControlPanel::onBookMode},
        {id::kPanelMug, &ControlPanel::onMugMode},
        {id::kPanelBox, &ControlPanel::onBoxMode}}},
      {{id::kPanelRotate, id::kPanelPanAndZoom, id::kPanelTextureScroll, id::kPanelSpotLight, id::kPanelScale},
       {{id::kPanelRotate, &ControlPanel::onRotate},
        {id::kPanelPanAndZoom, &ControlPanel::onPanAndZoom},
        {id::kPanelTextureScroll, &ControlPanel::onTextureScroll},
        {id::kPanelSpotLight, &ControlPanel::onSpotLight},
        {id::kPanelScale, &ControlPanel::onScale}}},
  };
  for (const auto& [members, handlers] : groups) {
    for (const auto& [radioId, handler] : handlers) {
      auto* radio = static_cast<QAbstractButton*>(control(radioId));
      connect(radio, &QAbstractButton::clicked, this, [this, members = members, radioId = radioId,
                                                       handler = handler] {
        for (int other : members) {
          if (other != radioId) setChecked(other, false);
        }
        (this->*handler)();
        host_.sceneChanged();
      });
    }
  }
  connect(static_cast<QCheckBox*>(control(id::kPanelLighting)), &QCheckBox::clicked, this, [this] {
    onLighting();
    host_.sceneChanged();
  });
  connect(static_cast<QCheckBox*>(control(id::kPanelScreenShot)), &QCheckBox::clicked, this, [this] {
    onScreenShot();
    host_.sceneChanged();
  });
  for (QSlider* slider : {sliders_[0], sliders_[1], sliders_[2], static_cast<QSlider*>(timeline_)}) {
    connect(slider, &QSlider::valueChanged, this, [this] {
      if (programWrites_ == 0) onSliderMoved();
    });
  }
  for (int slot = 0; slot < 3; ++slot) {
    // textEdited: only what the user types, never what the panel shows.
    connect(edits_[static_cast<size_t>(slot)], &QLineEdit::textEdited, this, [this, slot] { onValueEdited(slot); });
  }
  connect(websiteLink_, &QLineEdit::textEdited, this, &ControlPanel::onWebsiteLinkEdited);
  connect(static_cast<QPushButton*>(control(id::kPanelTestWebsiteLink)), &QPushButton::clicked, this,
          &ControlPanel::onTestWebsiteLink);
  connect(static_cast<QPushButton*>(control(id::kPanelOk)), &QPushButton::clicked, this, &QDialog::close);
  const std::pair<int, void (ControlPanel::*)()> buttons[] = {
      {id::kPanelAddKey, &ControlPanel::onAddKey},   {id::kPanelPlay, &ControlPanel::onPlay},
      {id::kPanelClearAll, &ControlPanel::onClearAll}, {id::kPanelCopy, &ControlPanel::onCopy},
      {id::kPanelPaste, &ControlPanel::onPaste},     {id::kPanelAddToPresets, &ControlPanel::onAddToPresets},
  };
  for (const auto& [buttonId, handler] : buttons) {
    connect(static_cast<QPushButton*>(control(buttonId)), &QPushButton::clicked, this, handler);
  }
  // The length applies when typing is done (Enter, leaving, the arrows):
  // "500" must not pass through 5 and cut the timeline there.
  lengthSpin_->setKeyboardTracking(false);
  connect(lengthSpin_, &QSpinBox::valueChanged, this, &ControlPanel::onLengthChanged);
  connect(presets_, &QComboBox::activated, this, &ControlPanel::onPresetChosen);
}

// ---- Writes that the handlers must not take for the user's ----

void ControlPanel::setSlider(int slot, int value) {
  ++programWrites_;
  sliders_[static_cast<size_t>(slot)]->setValue(value);
  --programWrites_;
}

void ControlPanel::setEdit(QLineEdit* edit, int value) {
  ++programWrites_;
  edit->setText(QString::number(value));
  --programWrites_;
}

void ControlPanel::setChecked(int controlId, bool checked) {
  if (auto* button = qobject_cast<QAbstractButton*>(control(controlId))) button->setChecked(checked);
}

void ControlPanel::setCaption(int controlId, const char* caption) {
  QWidget* widget = control(controlId);
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(caption);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(caption);
  }
  widget->setAccessibleName(caption);
}

void ControlPanel::setShown(int controlId, bool shown) {
  QWidget* widget = control(controlId);
  widget->setEnabled(shown);
  widget->setVisible(shown);
}

// ---- What other parts of the program show through the panel ----

int ControlPanel::timelinePosition() const { return timeline_->value(); }

void ControlPanel::SyncPanelControls() {
  const SliderTarget target = CurrentSliderTarget(scene_);
  for (int slot = 0; slot < target.count; ++slot) {
    const int shown = ShownValue(*target.values[static_cast<size_t>(slot)]);
    setSlider(slot, shown);
    setEdit(edits_[static_cast<size_t>(slot)], shown);
  }
}

void ControlPanel::showDragValues(const std::array<std::optional<float>, 3>& mirror) {
  for (int slot = 0; slot < 3; ++slot) {
    const auto& value = mirror[static_cast<size_t>(slot)];
    if (!value) continue;
    setSlider(slot, ShownValue(*value));
    setEdit(edits_[static_cast<size_t>(slot)], ShownValue(*value));
  }
}

void ControlPanel::showTimelineFrame(int frame) {
  ++programWrites_;
  timeline_->setValue(frame);
  frameEdit_->setText(QString::number(timeline_->value()));
  --programWrites_;
}

void ControlPanel::setMovementSliders(int x, int y, int z) {
  setSlider(0, x);
  setSlider(1, y);
  setSlider(2, z);
}

void ControlPanel::resetTimeline(int lastKeyFrame) {
  ++programWrites_;
  timeline_->setValue(0);
  frameEdit_->setText("0");
  timeline_->setRange(0, std::min(lastKeyFrame, kLastFrame));
  lengthSpin_->setValue(lastKeyFrame);
  --programWrites_;
  RebuildTicks();
}

void ControlPanel::RebuildTicks() {
  timeline_->clearTicks();
  ++programWrites_;
  keysEdit_->setText("0");
  for (int k = 1; k <= scene_.keyCount && k < kKeyCapacity; ++k) {
    timeline_->addTick(scene_.keyFrameNumbers[static_cast<size_t>(k)]);
    keysEdit_->setText(QString::number(k));
  }
  --programWrites_;
}

void ControlPanel::loadSliders(bool enableThird) {
  const SliderTarget target = CurrentSliderTarget(scene_);
  ++programWrites_;
  for (int slot = 0; slot < 3; ++slot) {
    const bool enabled = slot < 2 || enableThird;
    sliders_[static_cast<size_t>(slot)]->setEnabled(enabled);
    edits_[static_cast<size_t>(slot)]->setEnabled(enabled);
    if (slot >= target.count) continue;
    sliders_[static_cast<size_t>(slot)]->setRange(target.minimum, target.maximum);
  }
  --programWrites_;
  SyncPanelControls();
}

// ---- Handlers ----

void ControlPanel::onFaceButton(int face) {
  // The button only asks; the next frame opens the image dialog.
  static const std::pair<int, FaceButton> kButtons[] = {
      {id::kPanelFront, FaceButton::Front}, {id::kPanelBack, FaceButton::Back},
      {id::kPanelSpine, FaceButton::Spine}, {id::kPanelRight, FaceButton::Right},
      {id::kPanelTop, FaceButton::Top},     {id::kPanelBottom, FaceButton::Bottom},
  };
  for (const auto& [buttonId, button] : kButtons) {
    if (buttonId == face) PressFaceButton(scene_, button);
  }
  host_.sceneChanged();
}

void ControlPanel::onBoxStyleChanged(int row) {
  if (row < 0 || row >= kBoxStyleCount) return;
  boxStyleIndex_ = row;
  ApplyBoxStyle(scene_, row);
  host_.sceneChanged();
}

void ControlPanel::onBookStyleChanged(int row) {
  if (row < 0 || row >= kBookStyleCount) return;
  bookStyleIndex_ = row;
  const ProductStyle& style = kBookStyles[row];
  scene_.bookBinding = kBookStyleBinding[row];
  scene_.boxSize = {style.height, style.width, style.depth};
  scene_.scale = {style.sx, style.sy, style.sz};
  // Only the hard back has a style number of its own; the paperbacks keep
  // whatever the shot had.
  if (row == 0) scene_.bookStyle = 0;
  host_.sceneChanged();
}

void ControlPanel::checkProductRadio() {
  setChecked(id::kPanelBook, scene_.productKind <= 1.0f);
  setChecked(id::kPanelMug, scene_.productKind == kProductMug);
  setChecked(id::kPanelBox, scene_.productKind == kProductBox);
}

void ControlPanel::checkMovementRadioForMode() {
  if (scene_.panelSubMode == 2.0f) {
    setChecked(id::kPanelSpotLight, true);
  } else if (scene_.textureScrollMode >= 2.0f) {
    setChecked(id::kPanelTextureScroll, true);
  } else if (scene_.movementMode <= 1.0f) {
    setChecked(id::kPanelRotate, true);
  } else if (scene_.movementMode == 2.0f) {
    setChecked(id::kPanelPanAndZoom, true);
  } else if (scene_.movementMode == 3.0f) {
    setChecked(id::kPanelScale, true);
  }
}

void ControlPanel::layOutBox() {
  setShown(id::kPanelTextureScroll, false);
  setCaption(id::kPanelImagesLabel, "Load Box Images");
  setCaption(id::kPanelSpine, "Left");
  setCaption(id::kPanelFront, "Front");
  setCaption(id::kPanelBack, "Back");
  setShown(id::kPanelBookStyle, false);
  setShown(id::kPanelBoxStyle, true);
  for (int face : {id::kPanelTop, id::kPanelBottom, id::kPanelRight, id::kPanelSpine, id::kPanelFront,
                   id::kPanelBack}) {
    setShown(face, true);
  }
}

void ControlPanel::layOutBook() {
  setShown(id::kPanelTextureScroll, false);
  setCaption(id::kPanelImagesLabel, "Load Book Images");
  setCaption(id::kPanelSpine, "Spine");
  setCaption(id::kPanelFront, "Front");
  setCaption(id::kPanelBack, "Back");
  setShown(id::kPanelSpine, true);
  setShown(id::kPanelFront, true);
  for (int face : {id::kPanelTop, id::kPanelBottom, id::kPanelRight}) setShown(face, false);
  setShown(id::kPanelBack, true);
  setShown(id::kPanelBookStyle, true);
  setShown(id::kPanelBoxStyle, false);
}

void ControlPanel::layOutMug() {
  setShown(id::kPanelBack, true);
  setShown(id::kPanelTextureScroll, true);
  setCaption(id::kPanelImagesLabel, "Load Mug Image");
  setCaption(id::kPanelBack, "Load");
  for (int face : {id::kPanelSpine, id::kPanelFront, id::kPanelTop, id::kPanelBottom, id::kPanelRight}) {
    setShown(face, false);
  }
  bookStyles_->setEnabled(false);
  boxStyles_->setEnabled(false);
}

void ControlPanel::layOutScreenShot() {
  setCaption(id::kPanelImagesLabel, "Load Screen Shot");
  setCaption(id::kPanelFront, "Load");
  for (int face : {id::kPanelSpine, id::kPanelBack, id::kPanelTop, id::kPanelBottom, id::kPanelRight}) {
    setShown(face, false);
  }
  setShown(id::kPanelFront, true);
}

void ControlPanel::leaveScreenShotAndScroll() {
  scene_.screenShotToggle = 0;
  setChecked(id::kPanelScreenShot, false);
  scene_.textureScrollMode = 0;
  setChecked(id::kPanelTextureScroll, false);
  sliders_[2]->setEnabled(true);
  edits_[2]->setEnabled(true);
}

void ControlPanel::finishProductMode(float kind) {
  // A new product starts centred; the zoom stays.
  scene_.pan[0] = 0;
  scene_.pan[1] = 0;
  if (scene_.movementMode <= 1.0f) setChecked(id::kPanelRotate, true);
  if (scene_.movementMode == 2.0f) setChecked(id::kPanelPanAndZoom, true);
  scene_.productKind = kind;
  if (scene_.panelSubMode >= 2.0f) setChecked(id::kPanelRotate, false);
}

void ControlPanel::onBoxMode() {
  scene_.scale = {0, 14, -45};
  const ProductStyle& style = kBoxStyles[boxStyleIndex_];
  scene_.boxSize = {style.height, style.width, style.depth};
  scene_.boxStyle = static_cast<float>(boxStyleIndex_);
  leaveScreenShotAndScroll();
  layOutBox();
  ++programWrites_;
  boxStyles_->setCurrentIndex(boxStyleIndex_);
  --programWrites_;
  finishProductMode(kProductBox);
}

void ControlPanel::onBookMode() {
  scene_.scale = {0, 0, 0};
  scene_.bookStyle = 0;
  scene_.bookBinding = 2;
  const ProductStyle& hardBack = kBookStyles[0];
  scene_.boxSize = {hardBack.height, hardBack.width, hardBack.depth};
  ++programWrites_;
  bookStyles_->setCurrentIndex(scene_.bookStyle);
  --programWrites_;
  leaveScreenShotAndScroll();
  layOutBook();
  finishProductMode(kProductBook);
}

void ControlPanel::onMugMode() {
  scene_.screenShotToggle = 0;
  setChecked(id::kPanelScreenShot, false);
  layOutMug();
  finishProductMode(kProductMug);
}

void ControlPanel::onRotate() {
  for (int other : {id::kPanelSpotLight, id::kPanelScale, id::kPanelTextureScroll}) setChecked(other, false);
  SelectMovementMode(scene_, 0);
  sliderTarget_ = 0;
  checkProductRadio();
  loadSliders(true);
}

void ControlPanel::onPanAndZoom() {
  for (int other : {id::kPanelSpotLight, id::kPanelScale, id::kPanelTextureScroll}) setChecked(other, false);
  SelectMovementMode(scene_, 2);
  sliderTarget_ = 1;
  checkProductRadio();
  loadSliders(true);
}

void ControlPanel::onScale() {
  for (int other : {id::kPanelSpotLight, id::kPanelRotate, id::kPanelPanAndZoom, id::kPanelTextureScroll}) {
    setChecked(other, false);
  }
  SelectMovementMode(scene_, 3);
  sliderTarget_ = 0;
  checkProductRadio();
  loadSliders(true);
}

void ControlPanel::onSpotLight() {
  for (int other : {id::kPanelRotate, id::kPanelPanAndZoom, id::kPanelTextureScroll}) setChecked(other, false);
  scene_.lightingToggle = 1;
  setChecked(id::kPanelLighting, true);
  scene_.panelSubMode = 2;
  scene_.lightingMode = 2;
  loadSliders(true);
}

void ControlPanel::onTextureScroll() {
  for (int other : {id::kPanelSpotLight, id::kPanelRotate, id::kPanelPanAndZoom, id::kPanelScale}) {
    setChecked(other, false);
  }
  scene_.panelSubMode = 0;
  scene_.textureScrollMode = 2;
  loadSliders(false);
}

void ControlPanel::onLighting() {
  setChecked(id::kPanelScale, false);
  scene_.lightingToggle += 1;
  if (scene_.lightingToggle <= 1.0f) {
    scene_.lightingMode = 2;
  } else {
    scene_.lightingMode = 0;
    scene_.lightingToggle = 0;
    // Without light there is no spot to move: the sliders go back to the
    // rotation the Rotate radio names, rather than copying the spot's place
    // into it on their next touch. Another movement mode stays as it is.
    if (scene_.panelSubMode == 2.0f) {
      setChecked(id::kPanelSpotLight, false);
      setChecked(id::kPanelRotate, true);
      onRotate();
    }
  }
}

void ControlPanel::onScreenShot() {
  const bool entering = scene_.screenShotToggle + 1 <= 1.0f;
  // The product's own shape, kept for when the board goes again.
  if (entering) scaleBeforeScreenShot_ = scene_.scale;
  scene_.scale = {-179, 0, 0};
  for (int radio : {id::kPanelBook, id::kPanelMug, id::kPanelBox}) setChecked(radio, false);
  layOutScreenShot();
  scene_.screenShotToggle += 1;
  if (scene_.screenShotToggle <= 1.0f) {
    scene_.savedProductKind = scene_.productKind;
    scene_.productKind = kProductScreenShot;
  } else {
    scene_.screenShotToggle = 0;
    scene_.productKind = scene_.savedProductKind;
    // Back to the product as it was, its radio and its buttons with it:
    // the board's squeeze left behind made a stranger of it.
    scene_.scale = scaleBeforeScreenShot_;
    checkProductRadio();
    if (scene_.productKind <= 1.0f) layOutBook();
    else if (scene_.productKind == kProductMug) layOutMug();
    else layOutBox();
  }
}

void ControlPanel::onSliderMoved() {
  const SliderTarget target = CurrentSliderTarget(scene_);
  for (int slot = 0; slot < target.count; ++slot) {
    const int position = sliders_[static_cast<size_t>(slot)]->value();
    *target.values[static_cast<size_t>(slot)] = static_cast<float>(position);
    setEdit(edits_[static_cast<size_t>(slot)], position);
  }
  ++programWrites_;
  frameEdit_->setText(QString::number(timeline_->value()));
  --programWrites_;
  if (ParseDialogInteger(keysEdit_->text().toStdString()).value_or(0) != 0 &&
      timeline_->value() < scene_.bakedFrameCount) {
    host_.seekToFrame();
  }
  host_.sceneChanged();
}

void ControlPanel::onValueEdited(int slot) {
  const std::optional<int> value = ParseDialogInteger(edits_[static_cast<size_t>(slot)]->text().toStdString());
  if (!value) {
    host_.showPanelMessage(kEnterAnInteger);
    return;
  }
  const SliderTarget target = CurrentSliderTarget(scene_);
  if (slot >= target.count) return;
  // Stored as typed, beyond the slider's range too; the slider stops at its end.
  *target.values[static_cast<size_t>(slot)] = static_cast<float>(*value);
  setSlider(slot, *value);
  host_.sceneChanged();
}

void ControlPanel::commitEdit(int slot) {
  const std::optional<int> value = ParseDialogInteger(edits_[static_cast<size_t>(slot)]->text().toStdString());
  if (value) onValueEdited(slot);
}

void ControlPanel::onWebsiteLinkEdited() {
  websiteLinkText_ = websiteLink_->text().toStdString();
  scene_.websiteLink() = websiteLinkText_;
}

void ControlPanel::onTestWebsiteLink() { host_.openWebLink(scene_.websiteLink()); }

// ---- Keyframes ----

void ControlPanel::onAddKey() {
  const KeyEdit edit = AddKey(scene_, timeline_->value());
  if (!edit.done && !edit.message.empty()) host_.showPanelMessage(edit.message);
  RebuildTicks();
  host_.sceneChanged();
}

void ControlPanel::onPlay() {
  Play(scene_);
  host_.sceneChanged();
}

void ControlPanel::onClearAll() {
  ClearAll(scene_);
  timeline_->clearTicks();
  ++programWrites_;
  keysEdit_->setText("0");
  timeline_->setValue(0);
  frameEdit_->setText("0");
  --programWrites_;
  host_.sceneChanged();
}

void ControlPanel::onCopy() {
  keyCopied_ = true;
  CopyKey(scene_, timeline_->value());
}

void ControlPanel::onPaste() {
  const KeyEdit edit = PasteKey(scene_, timeline_->value(), keyCopied_);
  if (!edit.done && !edit.message.empty()) host_.showPanelMessage(edit.message);
  RebuildTicks();
  host_.sceneChanged();
}

void ControlPanel::onLengthChanged(int length) {
  if (programWrites_ != 0) return;
  // The tracks end at frame 9999: the timeline never passes it, so no key
  // or scrub can reach past the tracks.
  ++programWrites_;
  timeline_->setRange(0, std::min(length, kLastFrame));
  --programWrites_;
  RebuildTicks();
}

// ---- Presets ----

void ControlPanel::onPresetChosen(int index) {
  presetIndex_ = index;
  if (index <= 0) return;
  host_.loadPreset(index);
}

void ControlPanel::onAddToPresets() { host_.addToPresets(); }

// ---- Closing ----

void ControlPanel::closeEvent(QCloseEvent* event) {
  if (!closing_) {
    closing_ = true;
    host_.panelClosing();
  }
  event->accept();
}

void ControlPanel::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      // Enter never closes the panel: its mode and copied key would go with
      // it. A focused button takes Enter as it takes Space; an edit keeps
      // what was typed.
      QWidget* focused = focusWidget();
      if (auto* button = qobject_cast<QPushButton*>(focused); button && button->isEnabled()) {
        button->click();
        return;
      }
      for (int slot = 0; slot < 3; ++slot) {
        if (focused == edits_[static_cast<size_t>(slot)]) commitEdit(slot);
      }
      return;
    }
    case Qt::Key_Escape:
      close();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}
