#pragma once

#include <memory>

class QTranslator;

// The program's English catalogue, carried in the executable; nothing when it cannot be read.
std::unique_ptr<QTranslator> LoadEnglishCatalogue();
