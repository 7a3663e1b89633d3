#include "application.h"
#include "command_line.h"
#include "modem/readiness_report.h"
#include "scan.h"
#include "shell.h"
#include "window.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

namespace {

// The help and the version: Qt prints them, or shows them in a box where a Windows
// program has no console, and ends the process.
[[noreturn]] void showText(int& argc, char** argv, tarvex::TextRequest::Kind kind) {
    const QCoreApplication text(argc, argv);
    tarvex::setUpApplication();
    QCommandLineParser parser;
    tarvex::describeOptions(parser);
    if (kind == tarvex::TextRequest::Kind::Version)
        parser.showVersion();
    parser.showHelp(0);
}

int refuse(const tarvex::Refusal& refusal) {
    std::fprintf(stderr, "tarvex: %s\n", refusal.why.toLocal8Bit().constData());
    if (!refusal.shell)
        return 1; // as Qt ends a program on an option it does not know
    std::fputs("Try 'tarvex --help'. Nothing was sent.\n", stderr);
    if (!refusal.nagios)
        return tarvex::shell::kUsage;
    // A monitoring plugin's wrong command line is its UNKNOWN, said where it reads.
    std::fputs(qPrintable(tarvex::nagiosLine(tarvex::NagiosStatus::Unknown,
                                             QStringLiteral("tarvex: ") + refusal.why)),
               stdout);
    return int(tarvex::NagiosStatus::Unknown);
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const tarvex::Request request = tarvex::parseCommandLine(arguments);

    if (const auto* window = std::get_if<tarvex::WindowRequest>(&request))
        return tarvex::runWindow(argc, argv, *window);
    if (const auto* shell = std::get_if<tarvex::ShellRequest>(&request)) {
        const QCoreApplication application(argc, argv);
        tarvex::setUpApplication();
        return tarvex::shell::run(*shell);
    }
    if (const auto* scan = std::get_if<tarvex::ScanRequest>(&request)) {
        const QCoreApplication application(argc, argv);
        tarvex::setUpApplication();
        return tarvex::scan::run(*scan);
    }
    if (const auto* text = std::get_if<tarvex::TextRequest>(&request))
        showText(argc, argv, text->kind);
    return refuse(std::get<tarvex::Refusal>(request));
}
