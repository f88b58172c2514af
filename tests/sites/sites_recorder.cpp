// Records exchanges into one site of a book, one transaction each, and says
// "committed N" on standard output after each commit; the concurrency tests
// run several at once and kill some in the middle.
//   sites_recorder URL SITE COUNT TAG

#include "sites/SiteBook.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        std::fputs("usage: sites_recorder URL SITE COUNT TAG\n", stderr);
        return 2;
    }
    try {
        auto book = Sites::openSiteBook(args.at(1));
        const Sites::Site site = book->site(args.at(2));
        const int count = args.at(3).toInt();
        ImageBytes image{};
        for (int k = 1; k <= count; ++k) {
            image[0] = std::uint8_t(k);
            const Sites::Exchange e = book->record(
                site.id, {Operation::Read, QStringLiteral("COM1"), args.at(4) + QLatin1Char(' ') + QString::number(k), image});
            std::printf("committed %lld %s %d\n", e.number, qPrintable(args.at(4)), k);
            std::fflush(stdout);
        }
    } catch (const Sites::SiteBookError &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
