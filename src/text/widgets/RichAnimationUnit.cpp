#include "text/widgets/RichAnimationUnit.h"

#include "text/widgets/RichTextDocUnit.h"

#include <QBuffer>
#include <QEvent>
#include <QMovie>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextEdit>
#include <QUrl>

struct TRichAnimator::TMovie {
    QByteArray Bytes;
    QBuffer Buffer;
    std::unique_ptr<QMovie> Movie; // after Buffer: stops before its device goes
    QList<int> Positions;
};

TRichAnimator::TRichAnimator(QTextEdit& edit, TRichPictureStore& store)
    : FEdit(edit), FStore(store) {
    FEdit.installEventFilter(this);
    FPaused = !FEdit.isVisible();
}

TRichAnimator::~TRichAnimator() = default;

QStringList TRichAnimator::Running() const {
    QStringList names = FMovies.keys();
    names.sort();
    return names;
}

void TRichAnimator::Follow(const QHash<QString, QList<int>>& gifs) {
    for (auto movie = FMovies.begin(); movie != FMovies.end();)
        movie = gifs.contains(movie.key()) ? std::next(movie) : FMovies.erase(movie);
    for (auto gif = gifs.cbegin(); gif != gifs.cend(); ++gif) {
        if (FStill.contains(gif.key())) continue;
        if (!FMovies.contains(gif.key())) StartMovie(gif.key());
        auto movie = FMovies.find(gif.key());
        if (movie != FMovies.end()) (*movie)->Positions = gif.value();
    }
}

void TRichAnimator::StartMovie(const QString& name) {
    const TRichPicture* picture = FStore.Find(name);
    if (!picture || FStore.IsPlaceholder(name)) {
        FStill.insert(name);
        return;
    }
    auto movie = std::make_shared<TMovie>();
    movie->Bytes = picture->Bytes;
    movie->Buffer.setBuffer(&movie->Bytes);
    movie->Buffer.open(QIODevice::ReadOnly);
    movie->Movie = std::make_unique<QMovie>(&movie->Buffer, QByteArrayLiteral("gif"));
    if (!movie->Movie->isValid() || movie->Movie->frameCount() <= 1) {
        FStill.insert(name);
        return;
    }
    // Frames are drawn at the size the picture takes in the text.
    movie->Movie->setScaledSize(FStore.ShownSize(name));
    movie->Movie->setCacheMode(QMovie::CacheNone);
    connect(movie->Movie.get(), &QMovie::frameChanged, this, [this, name] { ShowFrame(name); });
    FMovies.insert(name, movie);
    movie->Movie->start();
    if (FPaused) movie->Movie->setPaused(true);
}

void TRichAnimator::ShowFrame(const QString& name) {
    auto movie = FMovies.constFind(name);
    if (movie == FMovies.cend()) return;
    QTextDocument* document = FEdit.document();
    document->addResource(QTextDocument::ImageResource, QUrl(name), (*movie)->Movie->currentPixmap());
    const QSize size = FStore.ShownSize(name);
    const QRect visible = FEdit.viewport()->rect();
    for (int position : (*movie)->Positions) {
        if (position >= document->characterCount()) continue;
        QTextCursor cursor(document);
        cursor.setPosition(position);
        // The caret before the picture: its left edge and the line's height.
        QRect rect = FEdit.cursorRect(cursor);
        rect.setWidth(size.width() + 2);
        rect.setTop(rect.bottom() - qMax(rect.height(), size.height()));
        if (rect.intersects(visible)) FEdit.viewport()->update(rect.adjusted(-1, -1, 1, 1));
    }
}

void TRichAnimator::SetPaused(bool paused) {
    if (FPaused == paused) return;
    FPaused = paused;
    for (const auto& movie : std::as_const(FMovies)) movie->Movie->setPaused(paused);
}

bool TRichAnimator::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &FEdit) {
        if (event->type() == QEvent::Show) SetPaused(false);
        else if (event->type() == QEvent::Hide) SetPaused(true);
    }
    return QObject::eventFilter(watched, event);
}
