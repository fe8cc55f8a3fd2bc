// The terrain map widget: paints a folder's TerrainModel as an isometric
// island. The resting drawing is cached in a pixmap keyed by model and size;
// hover only repaints the highlight and the pill on top of it.
#pragma once

#include <QPixmap>
#include <QVariantAnimation>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "maps/MapText.hpp"
#include "maps/TerrainScene.hpp"

class TerrainView : public QWidget {
    Q_OBJECT

public:
    explicit TerrainView(QWidget* parent = nullptr);

    /// Called with a folder when its mountain is tapped.
    std::function<void(const FileNode&)> onOpen;
    /// The time staleness and idle texts are measured against; the system
    /// clock unless set (snapshots fix it).
    std::function<Date()> clock;
    /// Whether hover changes cross-fade (ease-out, 0.14 s) or show at once.
    /// Even when set, they show at once while map animations are off
    /// (Motion, as in snapshot mode).
    bool animated = true;

    /// Shows `folder`; the model is rebuilt only when its path or size
    /// changed. The view keeps the folder alive while it shows it.
    void setNode(std::shared_ptr<const FileNode> folder);
    /// The folder shown; null before `setNode`.
    const std::shared_ptr<const FileNode>& node() const { return folder; }
    /// The model shown, built on first use; null without a folder.
    std::shared_ptr<const TerrainModel> model();
    /// The index of the hovered region, if any.
    std::optional<int> hover() const { return hovered; }
    /// Hovers what lies under `point` (view coordinates), as a pointer move does.
    void hoverAt(QPointF point);
    /// Hovers the region of that index (none ends the hover); an index the
    /// model lacks draws nothing.
    void hoverRegion(std::optional<int> region);

    QSize minimumSizeHint() const override { return {320, 300}; }
    QSize sizeHint() const override { return {720, 560}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::shared_ptr<const FileNode> folder;
    std::string modelKey;
    std::shared_ptr<const TerrainModel> cachedModel;
    QPixmap resting;
    // Held, not just compared: a freed model's address may come back.
    std::shared_ptr<const TerrainModel> restingModel;
    QSize restingSize;
    qreal restingRatio = 0;
    std::optional<int> hovered;
    std::optional<TerrainHighlight> highlighted;
    /// What was hovered before the last change, fading out while the new one fades in.
    struct Fading {
        std::shared_ptr<const TerrainModel> model;
        int region = -1;
        std::optional<TerrainHighlight> highlight;
    };
    std::optional<Fading> fading;
    QVariantAnimation fade;
    double progress = 1;
    QPointF pressedAt;
    /// Measures the summit labels and the pill in the fonts they are drawn in.
    TextMeasure textMeasure;

    IsoProjection projection();
    const QPixmap& restingPixmap(const std::shared_ptr<const TerrainModel>& model);
    void relight();
    void drawHover(QPainter& painter, const TerrainModel& model, int region,
                   const std::optional<TerrainHighlight>& highlight);
};
