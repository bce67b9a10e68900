namespace mc { void EdidPlaceholder() {} }
