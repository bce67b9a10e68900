namespace mc { void EmulatorPlaceholder() {} }
