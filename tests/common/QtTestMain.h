#pragma once
// One QtTest executable per test folder: every test class registers itself,
// and main runs them all, or only the class named by "-class NAME" (CTest
// registers one test per class that way).

#include <QCoreApplication>
#include <QTest>

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace sedalyn_test {

using TestFactory = std::function<std::unique_ptr<QObject>()>;

inline std::map<std::string, TestFactory>& Registry()
{
    static std::map<std::string, TestFactory> registry;
    return registry;
}

template <class T>
struct Registrar {
    explicit Registrar(const char* name)
    {
        Registry()[name] = [] { return std::make_unique<T>(); };
    }
};

inline int RunRegisteredTests(int argc, char** argv)
{
    std::string only;
    QStringList args;
    for (int i = 0; i < argc; ++i) {
        if (std::string(argv[i]) == "-class" && i + 1 < argc)
            only = argv[++i];
        else
            args << QString::fromLocal8Bit(argv[i]);
    }
    int failures = 0;
    for (const auto& [name, factory] : Registry()) {
        if (!only.empty() && only != name)
            continue;
        const std::unique_ptr<QObject> test = factory();
        failures += QTest::qExec(test.get(), args);
    }
    return failures == 0 ? 0 : 1;
}

} // namespace sedalyn_test

#define SEDALYN_TEST_CLASS(Class) \
    static const sedalyn_test::Registrar<Class> registrar_##Class(#Class);

// For test classes that need no widgets: no display, no window system.
#define SEDALYN_QTEST_CORE_MAIN                             \
    int main(int argc, char** argv)                         \
    {                                                       \
        QCoreApplication app(argc, argv);                   \
        return sedalyn_test::RunRegisteredTests(argc, argv);\
    }

#define SEDALYN_QTEST_MAIN                                  \
    int main(int argc, char** argv)                         \
    {                                                       \
        QApplication app(argc, argv);                       \
        app.setAttribute(Qt::AA_Use96Dpi, true);            \
        return sedalyn_test::RunRegisteredTests(argc, argv);\
    }
