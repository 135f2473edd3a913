// placeholder translation unit so the windows library is never empty
