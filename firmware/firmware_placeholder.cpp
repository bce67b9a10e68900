namespace mc { void FirmwarePlaceholder() {} }
