#pragma once

#include <QString>

#include <exception>
#include <string>

namespace vornic {

// A failure that the operation in hand does not catch: it carries its own text for the operator and is shown by
// the general error report, after which the program goes on with the next event.
class Failure : public std::exception {
public:
    explicit Failure(QString text) : text_(std::move(text)), utf8_(text_.toStdString()) {}
    const QString& text() const noexcept { return text_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString text_;
    std::string utf8_;
};

} // namespace vornic
