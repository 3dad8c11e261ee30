// Table-driven suites: a row's `name` names its test (RowName) and shows in
// place of its bytes when a test fails (a file with a table says `using
// rows::operator<<;` in the namespace of its row types).
#ifndef SERIAL_SEND_TESTS_ROWS_H
#define SERIAL_SEND_TESTS_ROWS_H

#include <ostream>
#include <string>

#include <gtest/gtest.h>

struct RowName {
    template <class Row> std::string operator()(const testing::TestParamInfo<Row> &row) const
    {
        return row.param.name;
    }
};

namespace rows
{

template <class Row, class = decltype(Row::name)>
std::ostream &operator<<(std::ostream &os, const Row &row)
{
    return os << row.name;
}

} // namespace rows

#endif
