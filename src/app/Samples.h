#pragma once

#include <functional>
#include <optional>

#include <QList>
#include <QString>
#include <QUrl>

class QWidget;

namespace vesk {

/// One built-in sample document, as listed in the samples resource.
struct Sample
{
    /// Menu title, name of the shipped document, proposed folder name and saved file's base name.
    QString title;
    /// The read-me page: absolute, or a path on the product web site ("/vesk/samples/lamp/").
    QString readmeURL;

    /// The read-me page as an absolute address.
    QUrl readmeAddress() const;
    /// ":/samples/<title>.vesk".
    QString documentResource() const;
    /// A title that can name a file: not empty, no folder separators, not "." or "..".
    bool isUsable() const;
};

/// The shipped list of samples.
QString defaultSamplesResource();

/// One entry per element of the JSON array in `path`, in order (so an entry's index is its menu
/// tag); elements that are not objects give empty entries. Missing or unreadable: no entries.
QList<Sample> readSamples(const QString& path = defaultSamplesResource());

/// Creates `folder` (its parent must exist; an existing folder is fine) and copies the sample's
/// document into it as "<title>.vesk", writable by its owner. A file already there is kept.
/// Returns the document's path whether or not the copy succeeded.
QString saveSample(const Sample& sample, const QString& folder);

/// The save panel that asks where a sample goes. Tests install a responder instead.
class SamplePanel
{
public:
    /// Receives the panel's title and the proposed name; returns the chosen path or nothing.
    using Responder =
        std::function<std::optional<QString>(const QString& title, const QString& proposedName)>;

    /// "Choose where to save the sample file", starting in the home folder with `proposedName`.
    static std::optional<QString> chooseFolder(QWidget* parent, const QString& proposedName);
    static QString title();
    static void setResponder(Responder responder);
};

} // namespace vesk
