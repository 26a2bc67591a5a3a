#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("QKS Marglet"));
    window.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    window.setWindowTitle(QStringLiteral("Bare Window"));
    window.setGeometry(1920 - 256, 5, 185, 17);
    window.show();
    return QApplication::exec();
}
