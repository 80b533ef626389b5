#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <memory>

class QMovie;
class QTextEdit;
class TRichPictureStore;

// Plays the animated GIFs of a text edit: one movie per distinct GIF in its
// document, each frame replacing the picture's image and repainting where it
// stands (frames keep the picture's size, so nothing is laid out again).
// The edit tells it which GIFs stand where after each change: new animated
// ones start, movies of pictures gone stop. Movies pause while the edit is
// hidden. The edit owns it (no Qt parent), after its picture store.
class TRichAnimator : public QObject {
    Q_OBJECT
public:
    TRichAnimator(QTextEdit& edit, TRichPictureStore& store);
    ~TRichAnimator() override;

    // Names of the pictures being animated.
    QStringList Running() const;
    bool IsPaused() const { return FPaused; }
    // The GIF pictures of the document by name, with their positions.
    void Follow(const QHash<QString, QList<int>>& gifs);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct TMovie;
    void StartMovie(const QString& name);
    void ShowFrame(const QString& name);
    void SetPaused(bool paused);

    QTextEdit& FEdit;
    TRichPictureStore& FStore;
    QHash<QString, std::shared_ptr<TMovie>> FMovies;
    QSet<QString> FStill; // GIFs of one frame: nothing to play
    bool FPaused = false;
};
