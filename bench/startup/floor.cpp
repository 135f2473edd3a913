// The start-up floor: a Qt Core program that makes its application object and prints
// one line, as every tessaly-cli command does before its own work.
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    out << "floor " << QCoreApplication::arguments().size() << Qt::endl;
    return 0;
}
