// lumivert_drag_file FILE: a drag source for driving the real window from outside, as a
// file manager would. It shows a small square in the top-left corner of the screen; a
// mouse press there starts a drag of FILE (one file:// address), which a pointer moved by
// xdotool carries to the drop target through the X server's drag-and-drop protocol. On its
// end the program prints "dropped" or "refused", serves the target's request for the data
// for three seconds, and exits: 0, or 1 when it was not used.

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>

namespace {

class DragSource : public QWidget {
public:
    explicit DragSource(QString file) : file_(std::move(file)) {
        setWindowTitle("lumivert-drag-source");
        setWindowFlag(Qt::FramelessWindowHint);
        setGeometry(0, 0, 48, 48);
        setStyleSheet("background: #3a6");
    }

protected:
    void mousePressEvent(QMouseEvent*) override {
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(file_)});
        // On the heap and kept: the target asks for the data after exec() returns, and a
        // drag object that is gone by then has no data to give ("drop data has expired").
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction done = drag->exec(Qt::CopyAction);
        hide();
        std::printf("%s\n", done == Qt::IgnoreAction ? "refused" : "dropped");
        std::fflush(stdout);
        // The drop's target fetches the file's address from this program after the drag
        // ends: stay a while to answer it.
        QTimer::singleShot(3000, [] { QApplication::exit(0); });
    }

private:
    QString file_;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: lumivert_drag_file FILE\n");
        return 2;
    }
    DragSource source(QString::fromLocal8Bit(argv[1]));
    source.show();
    QTimer::singleShot(60000, [] { QApplication::exit(1); }); // never left behind
    return QApplication::exec();
}
