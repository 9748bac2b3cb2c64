#pragma once

// QScintilla's headers use the bare Qt keywords, which this project switches off.
#ifndef slots
#define VESK_QSCI_KEYWORDS
#define slots Q_SLOTS
#define signals Q_SIGNALS
#endif
#include <Qsci/qscilexerbash.h>
#include <Qsci/qscilexerruby.h>
#include <Qsci/qsciscintilla.h>
#ifdef VESK_QSCI_KEYWORDS
#undef slots
#undef signals
#undef VESK_QSCI_KEYWORDS
#endif
