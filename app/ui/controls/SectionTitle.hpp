// A section's heading: the title in 16-point bold, an optional subtitle under it.
#pragma once

#include <QWidget>
#include <optional>

class SectionTitle : public QWidget {
    Q_OBJECT
public:
    /// Both texts are shown as they are; without a subtitle there is no second line at all.
    SectionTitle(const QString& title, const std::optional<QString>& subtitle = std::nullopt,
                 QWidget* parent = nullptr);
};
