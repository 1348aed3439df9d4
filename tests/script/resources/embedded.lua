return { name = "embedded", values = { 1, 2, 3 } }
