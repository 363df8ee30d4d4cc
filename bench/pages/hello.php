<HTML>Hello, world!
