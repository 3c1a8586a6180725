-- The history database shipped as VALUTE.MDB. Text fields may hold '' (and NULL in files made
-- elsewhere). The pair (Tipo_Valuta, Data_Valuta) is the logical key, but older duplicates are
-- tolerated, so the index is not unique. Keep semicolons out of comments: tests split on them.
CREATE TABLE Storico_Valute (
    Tipo_Valuta TEXT,
    Data_Valuta TEXT,
    Quotazione  REAL,
    Descrizione TEXT,
    Note        TEXT
);

CREATE INDEX Storico_Valute_Valuta_Data ON Storico_Valute (Tipo_Valuta, Data_Valuta);

-- The records whose quote cannot be read as a number (NULL, text, blob), normally none: the listing
-- finds the first of them in date order through this index instead of a pass over the table. The
-- program repeats this condition word for word, and adds the index to a file that lacks it.
CREATE INDEX Storico_Valute_Quotazione_Illeggibile ON Storico_Valute (Data_Valuta)
    WHERE Quotazione IS NULL OR +Quotazione > 9e999;
