#pragma once

class QsciScintilla;

namespace vesk {

/// Syntax modes of the code editors (the numbers documents and settings use).
enum class EditorMode { Ruby = 33, Shell = 37 };

/// Colour themes of the code editors: 18 a light paper theme for the script and the preview,
/// 26 a darker slate theme that sets the smaller Vagrantfile snippets apart.
enum class EditorTheme { Paper = 18, Slate = 26 };

/// Gives an editor our look: a monospace font, line numbers, the theme's colours, the mode's
/// highlighting, no edge line. The editor takes ownership of the lexer it is given.
void configureCodeEditor(QsciScintilla* editor, EditorMode mode, EditorTheme theme,
                         bool readOnly = false);

} // namespace vesk
