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
