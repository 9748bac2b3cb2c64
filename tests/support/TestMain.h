#pragma once

#include <functional>
#include <map>

#include <QObject>
#include <QString>

namespace vesk::test {

using Factory = std::function<QObject*()>;

/// Test classes of one executable, by name.
std::map<QString, Factory>& registry();

struct Registrar
{
    Registrar(const char* name, Factory factory);
};

} // namespace vesk::test

/// Registers a Qt Test class with the folder's test executable. Run one class with
/// `tst_folder ClassName [qtest options]`, all of them with no arguments.
#define VESK_TEST(Class)                                                                           \
    static const ::vesk::test::Registrar vesk_test_registrar_##Class(#Class,                       \
                                                                     [] { return new Class; });
