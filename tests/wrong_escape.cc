// Must not compile with the project's warning options: the escape takes
// the letter after it as a third hex digit, so the text would hold other
// bytes than it shows ("pami\xEAci" is not "pamięci" in code page 1250).
const char kText[] = "pami\xEAci";
