#pragma once
// A new, empty site book for each test: an SQLite file in a temporary
// folder, or (built with QUELMAR_BOOK_POSTGRES) a new database in the
// throwaway PostgreSQL cluster whose PG* variables scripts/test sets. A
// cluster that cannot be reached fails the test; it never skips.

#include "sites/SiteBook.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

class BookFixture
{
public:
#ifdef QUELMAR_BOOK_POSTGRES
    static constexpr bool Postgres = true;
#else
    static constexpr bool Postgres = false;
#endif

    // Empty when the fixture can make books; else what went wrong.
    QString problem() const
    {
        if (!m_folder.isValid())
            return QStringLiteral("no temporary folder");
        if (Postgres && qEnvironmentVariableIsEmpty("PGPORT"))
            return QStringLiteral("PGPORT is not set: run the PostgreSQL tests inside pg_virtualenv (scripts/test)");
        return {};
    }

    QString folder() const { return m_folder.path(); }

    // The URL of a new empty book; on PostgreSQL made by site init unless
    // `made` is false (an empty database).
    QString newBook(bool made = true)
    {
        const int n = ++m_count;
        if (!Postgres)
            return m_folder.filePath(QStringLiteral("book%1/sites.sqlite").arg(n));
        const QString name = QStringLiteral("quelmar_test_%1_%2").arg(QCoreApplication::applicationPid()).arg(n);
        admin(QStringLiteral("CREATE DATABASE %1").arg(name));
        const QString url = QStringLiteral("postgresql:///") + name;
        if (made)
            Sites::initSiteBook(url,
                                {QStringLiteral("quelmar_owner"), QStringLiteral("quelmar_installers"),
                                 QStringLiteral("quelmar_staff")});
        return url;
    }

    // Runs a statement as the cluster's superuser on its default database;
    // returns the error text, empty when it ran.
    static QString admin(const QString &statement)
    {
        const QString connection = QStringLiteral("fixture-admin");
        QString error;
        {
            QSqlDatabase db = QSqlDatabase::contains(connection) ? QSqlDatabase::database(connection)
                                                                  : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
            db.setDatabaseName(QStringLiteral("postgres"));
            if (!db.isOpen() && !db.open())
                return db.lastError().text();
            QSqlQuery q(db);
            if (!q.exec(statement))
                error = q.lastError().text();
        }
        return error;
    }

private:
    QTemporaryDir m_folder;
    int m_count = 0;
};
