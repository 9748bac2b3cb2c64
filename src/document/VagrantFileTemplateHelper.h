#pragma once

#include <optional>

#include <QString>

namespace vesk {

class DataModel;

/// Reads a template, from the support folder when the user put one there, else the shipped one.
/// Read on every call so that an edited template takes effect at once.
std::optional<QString> readTemplate(const QString& fileName);

/// Turns one document model into its Vagrantfile. Made for one rendering and dropped.
class VagrantFileTemplateHelper
{
public:
    explicit VagrantFileTemplateHelper(const DataModel& dataModel);

    const DataModel& dataModel() const { return m_dataModel; }

    /// The complete Vagrantfile; nothing when the template cannot be read or the result would be
    /// larger than `kMaxRenderedSize` (then `error`, when given, says which).
    std::optional<QString> templateString(QString* error = nullptr) const;
    /// The preview: the header, a line feed, then the Vagrantfile.
    std::optional<QString> displayTemplateString() const;
    /// The preview header as read.
    std::optional<QString> displayTempHeader() const;

    /// The provisioning line when the script is not blank, else empty.
    QString bootstrap() const;
    QString portForwards() const;
    QString syncedDirectories() const;

    /// Text for the inside of a Ruby double-quoted string literal that means exactly `text`:
    /// backslash, quote and "#" escaped (no interpolation), control characters as escapes, and
    /// "{" escaped so that a value never carries a placeholder into the rendering.
    static QString rubyStringContent(const QString& text);

    /// A rendering is refused past this many characters: placeholders written inside values are
    /// filled again, and a small document could otherwise ask for gigabytes.
    static constexpr qsizetype kMaxRenderedSize = 16 * 1024 * 1024;

private:
    const DataModel& m_dataModel;
};

} // namespace vesk
