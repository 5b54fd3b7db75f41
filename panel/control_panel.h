#pragma once
#include <QDialog>
#include <QPoint>
#include <array>
#include <optional>
#include <string>

#include "shot/project_io.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class TimelineSlider;

namespace kestrova {
class PanelHost;
struct SceneState;
}  // namespace kestrova

// "Dynamic Controls": the modeless panel that edits the shot while the view
// keeps drawing. Every control writes straight into the scene record; the
// panel keeps only its few selections. Controls carry their dialog ids as
// object names.
class ControlPanel : public QDialog, public kestrova::ProjectPanel {
  Q_OBJECT
 public:
  // `advanced` shows the keyframe, preset, web-link and product-mode
  // controls, which the plain layout keeps hidden.
  ControlPanel(kestrova::SceneState& scene, kestrova::PanelHost& host, bool advanced, QWidget* parent);
  ~ControlPanel() override;

  // The control with dialog id `id`, or null.
  QWidget* control(int id) const;
  // Dialog units to pixels with this panel's font, as dialog templates lay out.
  QPoint dialogUnits(int x, int y) const;

  // 0 while the sliders stand for rotation or scale, 1 for pan and zoom.
  int sliderTarget() const { return sliderTarget_; }
  int timelinePosition() const;
  bool keyCopied() const { return keyCopied_; }

  // Shows the current slider target on the three sliders and their edits.
  void SyncPanelControls();
  // A drag changed these values: slider i and its edit show mirror[i].
  void showDragValues(const std::array<std::optional<float>, 3>& mirror);
  // Playback drew `frame`: the timeline and the frame edit follow it.
  void showTimelineFrame(int frame);
  // After a load: the product area, the check boxes, the radios and the
  // sliders show the shot as they do when the panel opens.
  void followShot();
  // The preset list changed order: the combo's rows follow the listing.
  void refillPresets();

  // What loading a project needs of the open panel.
  bool isOpen() const override { return true; }
  int sliderMode() const override { return sliderTarget_; }
  void setMovementSliders(int x, int y, int z) override;
  void resetTimeline(int lastKeyFrame) override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void buildControls();
  void initialise();
  // What opening and loading share: the product's layout, the check boxes
  // with the counts their next click toggles from, the radios.
  void showShot();
  // The product area as the dialog template lays it out.
  void resetProductArea();
  void wireHandlers();

  // Handlers, in the order the dialog's controls list them.
  void onFaceButton(int id);
  void onBoxStyleChanged(int row);
  void onBookStyleChanged(int row);
  void onBoxMode();
  void onBookMode();
  void onMugMode();
  void onRotate();
  void onPanAndZoom();
  void onScale();
  void onSpotLight();
  void onTextureScroll();
  void onLighting();
  void onScreenShot();
  void onSliderMoved();
  void onValueEdited(int slot);
  void onWebsiteLinkEdited();
  void onTestWebsiteLink();
  void onAddKey();
  void onPlay();
  void onClearAll();
  void onCopy();
  void onPaste();
  void onLengthChanged(int length);
  // Enter in a slider's edit: the typed value, once more.
  void commitEdit(int slot);
  void onPresetChosen(int index);
  void onAddToPresets();
  // Ticks at the keys' frames; the "Keys:" edit counts them.
  void RebuildTicks();

  // Product-area layouts the mode radios switch between.
  void layOutBox();
  void layOutBook();
  void layOutMug();
  void layOutScreenShot();
  // Steps the product radios share: screen shot and texture scroll off,
  // then pan reset, the movement radio, the kind.
  void leaveScreenShotAndScroll();
  void finishProductMode(float kind);
  void checkProductRadio();
  void checkMovementRadioForMode();
  // Ranges and values of the sliders for the current target.
  void loadSliders(bool enableThird);

  // Writes that must not feed back into the handlers.
  void setSlider(int slot, int value);
  void setEdit(QLineEdit* edit, int value);
  void setChecked(int id, bool checked);
  void setCaption(int id, const char* caption);
  void setShown(int id, bool shown);

  kestrova::SceneState& scene_;
  kestrova::PanelHost& host_;
  bool advanced_ = false;
  bool keyCopied_ = false;
  int bookStyleIndex_ = 0;
  kestrova::Vec3 scaleBeforeScreenShot_{0, 0, 0};
  int boxStyleIndex_ = 0;
  int sliderTarget_ = 0;
  int presetIndex_ = -1;
  std::string websiteLinkText_;
  bool closing_ = false;
  // Set while the panel writes its own controls: their change notices are
  // not the user's.
  int programWrites_ = 0;

  std::array<QSlider*, 3> sliders_{};
  std::array<QLineEdit*, 3> edits_{};
  TimelineSlider* timeline_ = nullptr;
  QLineEdit* frameEdit_ = nullptr;
  QLineEdit* keysEdit_ = nullptr;
  QSpinBox* lengthSpin_ = nullptr;
  QComboBox* boxStyles_ = nullptr;
  QComboBox* bookStyles_ = nullptr;
  QComboBox* presets_ = nullptr;
  QLineEdit* websiteLink_ = nullptr;
};
