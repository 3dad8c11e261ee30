// Table-driven suites: a row's `name` names its test.
#ifndef SERIAL_SEND_TESTS_ROWS_H
#define SERIAL_SEND_TESTS_ROWS_H

#include <string>

#include <gtest/gtest.h>

struct RowName {
    template <class Row> std::string operator()(const testing::TestParamInfo<Row> &row) const
    {
        return row.param.name;
    }
};

#endif
