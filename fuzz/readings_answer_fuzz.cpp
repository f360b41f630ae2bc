// Any bytes as a readings answer: parsed or refused with a failure, never a crash.
#include "base/Failure.h"
#include "download/ReadingsProtocol.h"

#include <cstddef>
#include <cstdint>
#include <variant>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const vornic::ReadingsAnswer answer = vornic::ParseReadingsAnswer(bytes);
        // Every element stands for a child node of the root, and only the last may be the error.
        if (answer.elements.size() > answer.childNodeCount)
            __builtin_trap();
        for (qsizetype i = 0; i + 1 < answer.elements.size(); ++i)
            if (std::holds_alternative<vornic::AnswerError>(answer.elements[i]))
                __builtin_trap();
        for (const vornic::AnswerElement& element : answer.elements)
            if (const auto* row = std::get_if<vornic::AnswerRow>(&element))
                vornic::ReadingTimeText(row->date);
    } catch (const vornic::Failure&) {
    }
    return 0;
}
