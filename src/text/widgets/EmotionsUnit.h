#pragma once

#include <QByteArray>
#include <QFutureWatcher>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>
#include <vector>

class QLabel;
class QMovie;

// Where the emoticon grid opens for the Emotions button `button` (screen
// coordinates) on the usable desktop area `desktop`: below the button's left
// edge; above it when it would pass the desktop's bottom; left of the button
// when it would pass the right edge; at the button's right edge when the
// button itself starts left of the desktop. A grid that these rules still
// leave partly off a desktop large enough for it is moved onto it.
QPoint EmotionsGridOrigin(const QRect& button, const QRect& desktop, const QSize& grid);

// One emoticon file as read from disk; Image is null when the file is
// missing, too large or no picture.
struct TEmotionFile {
    QByteArray Bytes;
    QImage Image; // the first frame
    int FrameCount = 0;
};

// The files folder + "0.gif" .. "59.gif", read off the GUI thread.
std::vector<TEmotionFile> ReadEmotionFiles(const QString& folder);

// The emoticon grid: a pop-up of 10 x 6 cells of 24 pixels below (or beside)
// the Emotions button. Hovering selects a cell and shows it, animated, in a
// 74 x 74 preview that moves out of the pointer's way; a mouse press, Enter
// or Space picks the selected emoticon; Esc, a press outside the grid or any
// other close ends it without a pick. It answers its owner once through
// Answered and then deletes itself.
class TQLMEmotions : public QWidget {
    Q_OBJECT
public:
    static constexpr int Columns = 10;
    static constexpr int Rows = 6;
    static constexpr int Count = Columns * Rows;
    static constexpr int CellSize = 24;
    static constexpr int GridWidth = Columns * CellSize + Columns - 1;  // 249, with the lines between cells
    static constexpr int GridHeight = Rows * CellSize + Rows - 1;       // 149
    static constexpr int FrameWidth = 1;
    static constexpr int Width = GridWidth + 2 * FrameWidth;   // 251
    static constexpr int Height = GridHeight + 2 * FrameWidth; // 151
    static constexpr int PreviewSize = 74;
    // A file larger than this is no emoticon; its cell stays empty.
    static constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;

    enum TPreviewCorner { pcTopLeft, pcTopRight };

    // owner: the window whose Emotions button opened the grid; folder: where
    // "0.gif" .. "59.gif" are (ends with "/"). Starts reading the files.
    explicit TQLMEmotions(QWidget* owner, const QString& folder = DefaultFolder());
    ~TQLMEmotions() override;

    // "Emotions/" in the program's data folder.
    static QString DefaultFolder();
    // folder + index + ".gif"
    static QString FileName(const QString& folder, int index);

    // Opens at the button (screen coordinates) on the usable desktop area; an
    // empty desktop means the available area of the screen under the button.
    // The grid takes the keyboard.
    void Popup(const QRect& button, const QRect& desktop = QRect());

    bool IsLoaded() const { return FLoaded; }
    // The selected cell, row * 10 + column, or -1.
    int Selected() const { return FSelected; }
    // The cell's rectangle in the grid's coordinates.
    static QRect CellRect(int index);
    bool HasImage(int index) const;
    QString Folder() const { return FFolder; }

    bool IsPreviewVisible() const;
    TPreviewCorner PreviewCorner() const { return FCorner; }
    QLabel* Preview() const { return FPreview; }
    // The preview's player while it shows an animated emoticon, else null.
    QMovie* PreviewMovie() const { return FMovie; }

signals:
    // Once per grid: the picked emoticon and its file, or -1 and an empty
    // path when the grid closed without a pick.
    void Answered(int index, const QString& path);
    // The files are read and the cells drawn.
    void Loaded();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void TakeFiles();
    int CellAt(const QPoint& pos) const;
    void SelectCell(int index);
    void ShowPreview();
    void MovePreview(TPreviewCorner corner);
    void ClearPreview();
    void Pick();

    QString FFolder;
    std::vector<TEmotionFile> FFiles;
    QFutureWatcher<std::vector<TEmotionFile>> FReader;
    bool FLoaded = false;
    int FSelected = -1;
    int FPicked = -1;
    bool FAnswered = false;
    TPreviewCorner FCorner = pcTopLeft;
    QLabel* FPreview = nullptr;
    QMovie* FMovie = nullptr;
};
